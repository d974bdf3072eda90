// Runs one copy job without a person: the real window (on whatever Qt
// platform is set: an X display for benchmarks, offscreen for tests) or the
// engine alone with a display that discards everything but the error list. Options come from the
// command line; the question whether to create a missing target is answered
// Yes, any other box is answered with its first button and reported.
//
//   zentrel_scripted_run --window|--engine --source S --target T
//                        [--include F] [--exclude F] [--newer-than DATE]
//                        [--sync] [--no-subfolders] [--hidden] ...
//
// takes the texts and boxes under zentrel-run's names (a box's "--no-" form
// clears it); the subfolders are included unless --no-subfolders says not.
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
#include "platform/process_memory.h"
#include "settings/setting_names.h"
#include "window/main_window.h"
#include "window/qt_translations.h"
#include "window/qt_ui_host.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using zentrel::engine::Text_Setting;
using zentrel::settings::Option_Boxes;
using zentrel::settings::Text_Settings;
using zentrel::window::Control;

struct Options {
    bool window = true;
    int store_rounds = 0;    // --store-settings: open and close the window this often
    std::string screenshot;  // --screenshot: PNG of the window after the run
    bool dark = false;
    // Only what was given, by its place in Text_Settings and Option_Boxes:
    // the window keeps its stored values for the rest.
    std::map<std::size_t, std::string> texts;
    std::map<std::size_t, int> checks{{0, 1}};
};

// A text or a box of the job under its name on the command line.
bool parse_setting(const std::string& a, int& i, int argc, char** argv, Options& options) {
    for (std::size_t text = 0; text < std::size(Text_Settings); ++text) {
        if (a != std::string("--") + Text_Settings[text].flag) continue;
        if (i + 1 >= argc) return false;
        options.texts[text] = argv[++i];
        return true;
    }
    for (std::size_t box = 0; box < std::size(Option_Boxes); ++box) {
        if (a == std::string("--") + Option_Boxes[box].flag)
            options.checks[box] = 1;
        else if (a == std::string("--no-") + Option_Boxes[box].flag)
            options.checks[box] = 0;
        else
            continue;
        return true;
    }
    return false;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--window")
            options.window = true;
        else if (a == "--engine")
            options.window = false;
        else if (a == "--store-settings") {
            if (i + 1 >= argc) return false;
            options.store_rounds = std::atoi(argv[++i]);
            if (options.store_rounds < 1) return false;
        } else if (a == "--screenshot") {
            if (i + 1 >= argc) return false;
            options.screenshot = argv[++i];
        } else if (a == "--dark") {
            options.dark = true;
        } else if (!parse_setting(a, i, argc, argv, options)) {
            return false;
        }
    }
    if (options.store_rounds > 0) return true;
    const auto given = [&](Text_Setting member) {
        for (const auto& [text, value] : options.texts)
            if (Text_Settings[text].member == member) return true;
        return false;
    };
    return given(&zentrel::engine::Job_Options::Sourcefolder) && given(&zentrel::engine::Job_Options::Targetfolder);
}

// What was given into the window's fields and boxes, each text through
// with_text.
template <class With_Text>
void show_given(zentrel::window::Main_Window& window, const Options& options, With_Text with_text) {
    for (const auto& [text, value] : options.texts)
        window.Set_Text(*zentrel::window::Control_Named(Text_Settings[text].control), with_text(value));
    for (const auto& [box, check] : options.checks)
        window.Set_Check_State(zentrel::window::Box_Control(Option_Boxes[box]), check);
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
    bool Has_No_Window() const override { return !events_; }
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

// The options of an engine-only run, as the command line gives them.
zentrel::engine::Job_Options job_options(const Options& options) {
    zentrel::engine::Job_Options job;
    job.Include_Filter = "*.*";
    for (const auto& [text, value] : options.texts) job.*Text_Settings[text].member = value;
    for (const auto& [box, check] : options.checks) job.*Option_Boxes[box].member = check;
    return job;
}

// The display of an engine-only run: keeps the error list, discards the rest.
class Discarding_Display : public zentrel::engine::Job_Display {
public:
    void Show_Status(const std::string&) override {}
    void Show_File(zentrel::engine::Phase, const std::string&) override {}
    void Show_Count(zentrel::engine::File_Counter, std::int32_t) override {}
    void Show_Bytes(zentrel::engine::Byte_Count_Kind, double) override {}
    void Clear_Counters() override {}
    void Show_Progress_Bar(std::optional<double>) override {}
    void Show_Cancel_Button(bool) override {}
    void Show_Error_Counter(bool) override {}
    void Show_Run_Under_Way(bool) override {}
    void Add_Error(const zentrel::engine::Copy_Failure& failure) override {
        errors_.push_back(zentrel::engine::Error_Entry_Text(failure));
    }
    long Error_Count() const { return static_cast<long>(errors_.size()); }
    void Clear_Errors() override { errors_.clear(); }
    void Arrange_Error_List() override {}
    void Repaint() override {}

private:
    std::vector<std::string> errors_;
};

int run_engine(const Options& options) {
    const zentrel::engine::Job_Options fixed = job_options(options);
    const zentrel::engine::Options_View current(fixed);
    Discarding_Display display;
    Answering_Host host(nullptr);
    zentrel::support::Support_Routines support(host, zentrel::platform::real_file_system(),
                                               zentrel::platform::Regional_Settings::from_environment());
    zentrel::engine::Run_State state;
    zentrel::engine::Later_then_Change(fixed.Later_then, state, support.regional());
    zentrel::engine::Copy_Job job(current, display, support, state);
    const auto start = std::chrono::steady_clock::now();
    job.Start_Click();
    print_run_seconds(start);
    std::printf("%d files, %d errors\n", state.Total_Files, static_cast<int>(display.Error_Count()));
    return display.Error_Count() == 0 && !host.unexpected ? 0 : 2;
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
    show_given(window, options, [](const std::string& text) { return text; });
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
        show_given(*window, options, [round](const std::string& text) { return with_round(text, round); });
        window->close();
        QCoreApplication::processEvents();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // As the programs it stands in for.
    zentrel::platform::hand_back_large_blocks();
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
