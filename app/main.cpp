#include <QApplication>

#include <clocale>

#include "window/main_window.h"
#include "window/qt_translations.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Dates and numbers are read and written by the user's regional rules;
    // set here rather than relying on Qt having done it.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Zentrel"));
    QApplication::setDesktopFileName(QStringLiteral("zentrel"));
    zentrel::window::Load_Qt_Translations(app);
    zentrel::window::Main_Window window;
    window.show();
    return app.exec();
}
