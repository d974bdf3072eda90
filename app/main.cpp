#include <QApplication>

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "window/main_window.h"
#include "window/qt_translations.h"

namespace {

// The run without a window is a program of its own beside this one: this
// one links Qt Widgets, which a scheduler's machine may not even have.
bool wants_run_without_window(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--run", "--help", "--version"})
            if (std::strcmp(argv[i], option) == 0) return true;
    }
    return false;
}

int hand_over_to_run_without_window(char* argv[]) {
    std::string program(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", program.data(), program.size());
    if (length > 0) {
        program.resize(static_cast<std::size_t>(length));
        program = program.substr(0, program.rfind('/') + 1) + "zentrel-run";
        argv[0] = program.data();
        execv(program.c_str(), argv);
    }
    std::fprintf(stderr, "zentrel: das Programm für den Lauf ohne Fenster (%s) lässt sich nicht starten: %s\n",
                 program.c_str(), std::strerror(errno));
    return 2;
}

bool has_display() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (wants_run_without_window(argc, argv)) return hand_over_to_run_without_window(argv);
    if (!has_display()) {
        std::fprintf(stderr,
                     "zentrel: keine Anzeige für das Fenster (DISPLAY ist nicht gesetzt); den gespeicherten Auftrag "
                     "ohne Fenster ausführen: zentrel --run (siehe zentrel --help), das Fenster unter einer "
                     "virtuellen Anzeige öffnen: xvfb-run -a zentrel\n");
        return 1;
    }
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
