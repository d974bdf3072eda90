#include <QApplication>

#include "window/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zentrel::window::Main_Window window;
    window.show();
    return app.exec();
}
