// Load time of the stored settings against the size of the settings file:
// files of 1 KB to 100 MB in three shapes that no person writes by hand
// (many sections, one value name repeated, one long value), each loaded as a
// start of the window or of zentrel-run loads it, and saved once after a
// change as the window's close saves it.
//
//     settings_load_bench [largest size in bytes]     (default 100 MB)
#include "platform/file_system.h"
#include "platform/reg_file_store.h"
#include "settings/stored_settings.h"
#include "support/support_routines.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace zentrel;
using Clock = std::chrono::steady_clock;

class Silent_Host : public support::Ui_Host {
public:
    void Set_Pointer(support::Pointer_Shape) override {}
    void Process_Events() override {}
    void Activate_Application() override {}
    int Show_Message_Box(const std::string& prompt, int, const std::string&) override {
        std::fprintf(stderr, "unexpected message: %s\n", prompt.c_str());
        std::exit(1);
    }
};

const std::string Header =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n"
    "\"Sourcefolder\"=\"/home/anna/Fotos\"\n\"Targetfolder\"=\"/media/backup\"\n";

// A settings file of about size bytes in the given shape.
std::string make_file(const std::string& shape, std::size_t size) {
    std::string text = Header;
    text.reserve(size + 256);
    if (shape == "sections") {
        for (std::size_t i = 0; text.size() < size; ++i)
            text += "\n[HKEY_CURRENT_USER\\Software\\Other\\Key" + std::to_string(i) + "]\n\"Value\"=\"some text " +
                    std::to_string(i) + "\"\n";
    } else if (shape == "repeated") {
        for (std::size_t i = 0; text.size() < size; ++i)
            text += "\"Exclude_Filter\"=\"*.tmp;*.bak " + std::to_string(i) + "\"\n";
    } else {
        text += "\"Include_Filter\"=\"";
        text.append(size > text.size() + 2 ? size - text.size() - 2 : 0, 'x');
        text += "\"\n";
    }
    return text;
}

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The process's CPU time: on a busy machine the wall time says more about
// the other processes than about this one.
double cpu_seconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Timing {
    double wall, cpu;
};

// Medians of runs of act, each timed alone.
Timing median_seconds(int runs, const std::function<void()>& act) {
    std::vector<double> walls, cpus;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const double cpu_start = cpu_seconds();
        act();
        cpus.push_back(cpu_seconds() - cpu_start);
        walls.push_back(seconds_since(start));
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

const char* state_name(settings::Store_State state) {
    switch (state) {
        case settings::Store_State::Sound:
            return "read";
        case settings::Store_State::Missing:
            return "missing";
        case settings::Store_State::Damaged:
            return "damaged";
        case settings::Store_State::Too_Large:
            return "refused: too large";
        case settings::Store_State::Not_A_File:
            return "not a file";
        case settings::Store_State::Unreadable:
            return "unreadable";
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t largest = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100'000'000;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "zentrel-settings-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ::setenv("ZENTREL_REGISTRY_DIR", folder.c_str(), 1);
    const std::string file = (folder / "HKEY_CURRENT_USER.reg").string();

    Silent_Host host;
    support::Support_Routines support(host, platform::real_file_system(), platform::Regional_Settings::german());

    std::printf("| shape | file bytes | load s | load CPU s | save s | saved bytes | outcome |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const char* shape : {"sections", "repeated", "long value"}) {
        // 4 MB lies just below the largest file that is read.
        for (std::size_t size : {1'000ul, 10'000ul, 100'000ul, 1'000'000ul, 4'000'000ul, 10'000'000ul, 100'000'000ul}) {
            if (size > largest) break;
            const std::string text = make_file(shape, size);
            std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
            const int runs = size <= 1'000'000 ? 21 : 5;
            settings::Load_Report report;
            engine::Job_Options loaded;
            const Timing load = median_seconds(runs, [&] { loaded = settings::Load_Settings(support, report); });
            std::string outcome = state_name(report.state);
            for (const auto& refused : report.refused) outcome += ", " + refused.name + " refused";
            // A close that changed one field: one write of the whole file.
            loaded.Exclude_Filter = "*.changed";
            const auto start = Clock::now();
            const settings::Save_Report saved = settings::Save_Settings(loaded, support);
            const double save = seconds_since(start);
            if (saved.code != 0) outcome += ", save failed";
            std::printf("| %s | %zu | %.6f | %.6f | %.6f | %ju | %s |\n", shape, text.size(), load.wall, load.cpu, save,
                        static_cast<std::uintmax_t>(std::filesystem::file_size(file)), outcome.c_str());
            std::fflush(stdout);
            std::filesystem::remove(file + ".damaged");
        }
    }
    std::filesystem::remove_all(folder);
    return 0;
}
