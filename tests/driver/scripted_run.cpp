// Runs one copy job without a person: the real window (on whatever Qt
// platform is set: an X display for benchmarks, offscreen for tests) or the
// engine alone with a form that discards every display. Options come from the
// command line; the question whether to create a missing target is answered
// Yes, any other box is answered with its first button and reported.
//
//   zentrel_scripted_run --window|--engine --source S --target T
//                        [--sync] [--no-subfolders] [--empty-folders] [--hidden]
//                        [--system] [--only-newer] [--include F] [--exclude F]
//                        [--later DATE]
//
// Prints the final status line and, on a line of its own, the seconds the job
// itself took ("run seconds: 0.123": from the Start click to its return, or
// around Start_Click for the engine), without the process's start-up;
// exits 0 when the error list is empty and no
// unexpected box appeared, 2 otherwise, 1 on bad arguments.
//
// With --screenshot FILE (window only) the window is photographed as the X
// server shows it after the run and saved as PNG; --dark gives it a dark theme.
//
//   zentrel_scripted_run --store-settings N [--source S] [--target T] [...]
//
// opens and closes the window N times without running anything: each time
// the window loads the stored settings, takes the given texts and options
// (every "{}" in a text replaced by the number of the round, 0 to N-1) and
// stores them as it closes. Exits 0. Without
// ZENTREL_REGISTRY_DIR the stored settings go to a private temporary folder,
// never to the user's.
#include "common/dark_palette.h"
#include "engine/copy_job.h"
#include "platform/file_system.h"
#include "support/form.h"
#include "window/main_window.h"
#include "window/qt_translations.h"
#include "window/qt_ui_host.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using zentrel::support::Control;

struct Options {
    bool window = true;
    int store_rounds = 0;    // --store-settings: open and close the window this often
    std::string screenshot;  // --screenshot: PNG of the window after the run
    bool dark = false;
    std::map<Control, std::string> texts;
    std::map<Control, int> checks{{Control::Include_Subfolders, 1}};
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](Control control) {
            if (i + 1 >= argc) return false;
            options.texts[control] = argv[++i];
            return true;
        };
        if (a == "--window")
            options.window = true;
        else if (a == "--engine")
            options.window = false;
        else if (a == "--source") {
            if (!value(Control::Sourcefolder)) return false;
        } else if (a == "--target") {
            if (!value(Control::Targetfolder)) return false;
        } else if (a == "--include") {
            if (!value(Control::Include_Filter)) return false;
        } else if (a == "--exclude") {
            if (!value(Control::Exclude_Filter)) return false;
        } else if (a == "--later") {
            if (!value(Control::Later_then)) return false;
        } else if (a == "--store-settings") {
            if (i + 1 >= argc) return false;
            options.store_rounds = std::atoi(argv[++i]);
            if (options.store_rounds < 1) return false;
        } else if (a == "--screenshot") {
            if (i + 1 >= argc) return false;
            options.screenshot = argv[++i];
        } else if (a == "--dark")
            options.dark = true;
        else if (a == "--sync")
            options.checks[Control::Synchronize] = 1;
        else if (a == "--no-subfolders")
            options.checks[Control::Include_Subfolders] = 0;
        else if (a == "--empty-folders")
            options.checks[Control::Copy_Empty_Folders] = 1;
        else if (a == "--hidden")
            options.checks[Control::Copy_HiddenFiles] = 1;
        else if (a == "--system")
            options.checks[Control::Copy_SysFiles] = 1;
        else if (a == "--only-newer")
            options.checks[Control::Only_newer] = 1;
        else
            return false;
    }
    if (options.store_rounds > 0) return true;
    return options.texts.count(Control::Sourcefolder) && options.texts.count(Control::Targetfolder);
}

// Prints how long the job took, on a line of its own.
void print_run_seconds(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("run seconds: %.6f\n", took.count());
}

std::string with_round(std::string text, int round) {
    const std::string number = std::to_string(round);
    for (std::size_t at = text.find("{}"); at != std::string::npos; at = text.find("{}", at + number.size()))
        text.replace(at, 2, number);
    return text;
}

// Answers the boxes of a run: Yes to the creation question, the first button
// to anything else, which it also reports.
class Answering_Host : public zentrel::support::Ui_Host {
public:
    explicit Answering_Host(zentrel::support::Ui_Host* events) : events_(events) {}
    void Set_Pointer(zentrel::support::Pointer_Shape shape) override {
        if (events_) events_->Set_Pointer(shape);
    }
    void Process_Events() override {
        if (events_) events_->Process_Events();
    }
    void Activate_Application() override {}
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string&) override {
        using namespace zentrel::support;
        if (prompt == "Zielverzeichnis existiert nicht - soll es neu angelegt werden?") return Answer_Yes;
        std::fprintf(stderr, "box: %s\n", prompt.c_str());
        unexpected = true;
        switch (buttons & 7) {
            case Buttons_Abort_Retry_Ignore:
                return Answer_Ignore;
            case Buttons_Yes_No:
                return Answer_Yes;
            case Buttons_Retry_Cancel:
                return Answer_Cancel;
            default:
                return Answer_OK;
        }
    }
    bool unexpected = false;

private:
    zentrel::support::Ui_Host* events_;
};

// The form of an engine-only run: keeps what the job reads back, discards
// every display.
class Discarding_Form : public zentrel::support::Form {
public:
    std::string Text(Control c) const override { return texts_[static_cast<int>(c)]; }
    void Set_Text(Control c, const std::string& text) override {
        switch (c) {
            case Control::Status:
            case Control::Num_Processed_Files:
            case Control::Num_Processed_Bytes:
            case Control::Num_Sourcefiles:
            case Control::Num_Sourcebytes:
            case Control::Num_Tot_Files:
            case Control::TNum_SourceBytes:
            case Control::TNum_Processed_Bytes:
            case Control::Progress:
                return;  // displays only
            default:
                texts_[static_cast<int>(c)] = text;
        }
    }
    int Check_State(Control c) const override { return checks_[static_cast<int>(c)]; }
    void Set_Check_State(Control c, int state) override { checks_[static_cast<int>(c)] = state; }
    bool Visible(Control) const override { return true; }
    void Set_Visible(Control, bool) override {}
    bool Enabled(Control) const override { return true; }
    void Set_Enabled(Control, bool) override {}
    void Set_Focus(Control) override {}
    zentrel::support::Twips_Rect Geometry(Control) const override { return {0, 0, 8895, 255}; }
    void Set_Top(Control, double) override {}
    void Set_Width(Control, double) override {}
    void Set_Height(Control, double) override {}
    long List_Count(Control) const override { return static_cast<long>(errors_.size()); }
    std::string List_Item(Control, long i) const override { return errors_.at(i); }
    void Add_Item(Control, const std::string& text) override { errors_.push_back(text); }
    void Clear_List(Control) override { errors_.clear(); }
    long List_Index(Control) const override { return -1; }
    void Repaint() override {}
    void Arrange_Error_List() override {}

private:
    mutable std::array<std::string, 64> texts_{};
    mutable std::array<int, 64> checks_{};
    std::vector<std::string> errors_;
};

int run_engine(const Options& options) {
    Discarding_Form form;
    Answering_Host host(nullptr);
    zentrel::support::Support_Routines support(host, zentrel::platform::real_file_system(),
                                               zentrel::platform::Regional_Settings::from_environment());
    zentrel::engine::Run_State state;
    zentrel::engine::Copy_Job job(form, support, state);
    form.Set_Text(Control::Include_Filter, "*.*");
    for (auto& [control, text] : options.texts) form.Set_Text(control, text);
    for (auto& [control, check] : options.checks) form.Set_Check_State(control, check);
    const auto start = std::chrono::steady_clock::now();
    job.Start_Click();
    print_run_seconds(start);
    std::printf("%d files, %d errors\n", state.Total_Files, static_cast<int>(form.List_Count(Control::Error_List)));
    return form.List_Count(Control::Error_List) == 0 && !host.unexpected ? 0 : 2;
}

int run_window(int argc, char** argv, const Options& options) {
    QApplication app(argc, argv);
    zentrel::window::Load_Qt_Translations(app);
    if (options.dark) QApplication::setPalette(zentrel::testing::dark_palette());
    zentrel::window::Qt_Ui_Host events;
    Answering_Host host(&events);
    zentrel::window::Window_Setup setup;
    setup.host = &host;
    zentrel::window::Main_Window window(std::move(setup));
    events.set_window(&window);
    window.show();
    for (auto& [control, text] : options.texts) window.Set_Text(control, text);
    for (auto& [control, check] : options.checks) window.Set_Check_State(control, check);
    int result = 0;
    QTimer::singleShot(0, &window, [&] {
        const auto start = std::chrono::steady_clock::now();
        static_cast<QPushButton*>(window.control(Control::Start))->click();
        print_run_seconds(start);
        std::printf("%s\n", window.Text(Control::Status).c_str());
        result = window.List_Count(Control::Error_List) == 0 && !host.unexpected ? 0 : 2;
        if (!options.screenshot.empty()) {
            window.repaint();
            QCoreApplication::processEvents();
            if (!window.screen()->grabWindow(window.winId()).save(QString::fromStdString(options.screenshot), "PNG"))
                result = 2;
        }
        window.close();
    });
    app.exec();
    return result;
}

// Each round is a window's whole life: load, the user's changes, close.
int store_settings(int argc, char** argv, const Options& options) {
    QApplication app(argc, argv);
    for (int round = 0; round < options.store_rounds; ++round) {
        zentrel::window::Qt_Ui_Host events;
        Answering_Host host(&events);
        zentrel::window::Window_Setup setup;
        setup.host = &host;
        auto window = std::make_unique<zentrel::window::Main_Window>(std::move(setup));
        events.set_window(window.get());
        window->show();
        for (auto& [control, text] : options.texts) window->Set_Text(control, with_round(text, round));
        for (auto& [control, check] : options.checks) window->Set_Check_State(control, check);
        window->close();
        QCoreApplication::processEvents();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --window|--engine --source S --target T [options]\n", argv[0]);
        return 1;
    }
    std::string registry;
    if (!std::getenv("ZENTREL_REGISTRY_DIR")) {
        char pattern[] = "/tmp/zentrel-run-XXXXXX";
        if (char* dir = mkdtemp(pattern)) {
            registry = dir;
            setenv("ZENTREL_REGISTRY_DIR", dir, 1);
        }
    }
    int result = options.store_rounds > 0 ? store_settings(argc, argv, options)
                 : options.window         ? run_window(argc, argv, options)
                                          : run_engine(options);
    if (!registry.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(registry, ignored);
    }
    return result;
}
