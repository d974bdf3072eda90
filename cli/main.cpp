// zentrel-run: the stored job of the window, run without a window, for cron
// jobs and timers. "zentrel --run" hands over to this program.
#include "cli/command_line.h"
#include "cli/console_host.h"
#include "cli/headless_form.h"
#include "cli/interrupt.h"
#include "cli/progress_line.h"
#include "engine/copy_job.h"
#include "platform/file_system.h"
#include "settings/stored_settings.h"

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace zentrel;
using support::Control;

enum Exit_Status { Done = 0, Finished_With_Errors = 1, Refused = 2, Interrupted_By_Signal = 130 };

void print_usage_error(const std::string& error) {
    std::fprintf(stderr, "zentrel: %s\n\n%s", error.c_str(), cli::Usage_Text());
}

// A folder typed on a command line counts from the working folder, as with
// every other command; the job itself takes only full paths.
std::string full_path(const std::string& folder) {
    if (folder.empty() || folder.front() == '/') return folder;
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, failed);
    return failed ? folder : absolute.string();
}

// The stored job as the window loads it, then this run's overrides, which
// nothing stores. False when an override cannot be applied.
bool load_job(const cli::Command_Line& line, cli::Headless_Form& form, support::Support_Routines& support) {
    try {
        settings::Load_Settings(form, support);
    } catch (...) {
        // As in the window: a damaged store leaves what was read until then.
    }
    for (auto [field, text] : line.texts) {
        if (field == Control::Sourcefolder || field == Control::Targetfolder) text = full_path(text);
        if (field == Control::Later_then && !text.empty()) {
            const auto date = platform::parse_date(text, support.regional());
            if (!date) {
                print_usage_error("'" + text + "' ist kein Datum");
                return false;
            }
            text = platform::format_date(*date, support.regional());
        }
        form.Set_Text(field, text);
    }
    for (const auto& [box, state] : line.checks) form.Set_Check_State(box, state);
    return true;
}

// The evaluation alone, then what it counted, one path a line.
int dry_run(engine::Copy_Job& job, cli::Headless_Form& form, cli::Console_Host& host, engine::Run_State& state) {
    std::vector<std::string> files;
    job.Counted_File = [&](const std::string& path) { files.push_back(path); };
    state.Reverse_Direction = false;
    job.Evaluate_Source_Click();
    if (host.Folder_Missing()) return Refused;
    // A synchronisation copies back what is newer in the target; what the
    // first pass brings there is then the same age and stays.
    if (!state.Cancel_Requested && form.Check_State(Control::Synchronize) != 0 &&
        std::filesystem::is_directory(form.Text(Control::Targetfolder))) {
        state.Reverse_Direction = true;
        job.Evaluate_Source_Click();
    }
    if (state.Cancel_Requested) return Interrupted_By_Signal;
    for (const std::string& file : files) std::printf("%s\n", file.c_str());
    return Done;
}

int report(const cli::Headless_Form& form, const cli::Console_Host& host, const engine::Run_State& state) {
    const std::string summary = form.Text(Control::Status);
    // A job stopped by an unexpected failure has left the file it was at
    // in the status, not a summary; its message has been written.
    if (form.Run_Began() && !host.Failed_Unexpectedly() && !summary.empty())
        std::fprintf(stderr, "%s\n", summary.c_str());
    for (const auto& entry : form.Errors())
        std::fprintf(stderr, "  %s%s%s\n", entry.path.c_str(), entry.reason.empty() ? "" : " -- ",
                     cli::One_Line(entry.reason).c_str());
    if (state.Cancel_Requested && cli::Interrupted()) return Interrupted_By_Signal;
    if (!form.Run_Began()) return Refused;
    if (!form.Errors().empty() || host.Problems_Reported() || host.Failed_Unexpectedly()) return Finished_With_Errors;
    return Done;
}

}  // namespace

int main(int argc, char** argv) {
    // Dates and numbers by the user's regional rules.
    std::setlocale(LC_ALL, "");
    std::string error;
    const auto line = cli::Parse_Command_Line(argc, argv, error);
    if (!line) {
        print_usage_error(error);
        return Refused;
    }
    if (line->help) {
        std::fputs(cli::Usage_Text(), stdout);
        return Done;
    }
    if (line->version) {
        std::printf("zentrel %s\n", ZENTREL_VERSION);
        return Done;
    }
    cli::Catch_Interrupts();

    const auto regional = platform::Regional_Settings::from_environment();
    engine::Run_State state;
    cli::Headless_Form form(state, regional);
    cli::Progress_Line progress(stderr, isatty(STDERR_FILENO) == 1, regional.decimal_separator);
    cli::Console_Host host(*line, form, state, progress);
    support::Support_Routines support(host, platform::real_file_system(), regional);
    if (!load_job(*line, form, support)) return Refused;

    engine::Copy_Job job(form, support, state);
    if (line->dry_run) {
        const int status = dry_run(job, form, host, state);
        progress.Clear();
        return status;
    }
    job.Start_Click();
    progress.Clear();
    return report(form, host, state);
}
