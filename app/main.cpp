#include <QApplication>

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/process_memory.h"
#include "window/main_window.h"
#include "window/qt_translations.h"

namespace {

// The run without a window is a program of its own beside this one: this
// one links Qt Widgets, which a scheduler's machine may not even have. It
// gets "--run", its help and its version, abbreviations included (the
// runner tells an ambiguous one).
bool wants_run_without_window(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") break;
        if (argument == "-h" || argument == "-V") return true;
        if (argument.size() < 3 || !argument.starts_with("--")) continue;
        for (const std::string option : {"--run", "--help", "--version"})
            if (option.starts_with(argument)) return true;
    }
    return false;
}

// The window takes folders (the first becomes the source, as a file
// manager's "open with" passes it) and no options of its own.
struct Window_Arguments {
    std::vector<std::string> folders;
    std::string unknown_option;
};

Window_Arguments window_arguments(int argc, char* argv[]) {
    Window_Arguments arguments;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument.front() == '-') {
            if (arguments.unknown_option.empty()) arguments.unknown_option = argument;
        } else {
            arguments.folders.push_back(argument);
        }
    }
    return arguments;
}

std::string full_path(const std::string& folder) {
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, failed);
    return failed ? folder : absolute.lexically_normal().string();
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
    zentrel::platform::hand_back_large_blocks();
    if (wants_run_without_window(argc, argv)) return hand_over_to_run_without_window(argv);
    const Window_Arguments arguments = window_arguments(argc, argv);
    if (!arguments.unknown_option.empty()) {
        std::fprintf(stderr,
                     "zentrel: unbekannte Option '%s' (das Fenster kennt keine; ohne Fenster: --run)\n"
                     "siehe zentrel --help\n",
                     arguments.unknown_option.c_str());
        return 2;
    }
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
    if (!arguments.folders.empty())
        window.Set_Text(zentrel::window::Control::Sourcefolder, full_path(arguments.folders.front()));
    window.show();
    return app.exec();
}
