// zentrel-run: the stored job of the window, run without a window, for cron
// jobs and timers. "zentrel --run" hands over to this program.
#include "cli/command_line.h"
#include "cli/console_host.h"
#include "cli/interrupt.h"
#include "cli/progress_line.h"
#include "cli/terminal_display.h"
#include "engine/copy_job.h"
#include "platform/file_system.h"
#include "platform/process_memory.h"
#include "platform/sync_record.h"
#include "settings/option_interlocks.h"
#include "settings/stored_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace {

using namespace zentrel;
using engine::Job_Options;

enum Exit_Status { Done = 0, Finished_With_Errors = 1, Refused = 2, Interrupted_By_Signal = 130 };

// One line saying what is wrong, and where to read more: the whole help
// would push the line that matters out of sight.
void print_usage_error(const std::string& error) {
    std::fprintf(stderr, "zentrel: %s\nsiehe zentrel --help\n", error.c_str());
}

// False, after one line on standard error, when what went to stream was
// not all written (a full disk, a closed pipe, a reader gone away).
bool written(std::FILE* stream, const char* what) {
    if (std::fflush(stream) == 0 && !std::ferror(stream)) return true;
    std::fprintf(stderr, "zentrel: %s konnte nicht vollständig geschrieben werden\n", what);
    return false;
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
// nothing stores. Nothing when an override cannot be applied.
std::optional<Job_Options> load_job(const cli::Command_Line& line, engine::Run_State& state,
                                    support::Support_Routines& support) {
    Job_Options job;
    settings::Load_Report stored;
    try {
        job = settings::Load_Settings(support, stored);
    } catch (...) {
        // As in the window: a damaged store never keeps the job from running.
    }
    if (const std::string notice = settings::Load_Report_Text(stored, false); !notice.empty())
        std::fprintf(stderr, "zentrel: %s\n", notice.c_str());
    for (auto [field, text] : line.texts) {
        if (field == &Job_Options::Sourcefolder || field == &Job_Options::Targetfolder) text = full_path(text);
        if (field == &Job_Options::Later_then && !text.empty()) {
            const auto date = platform::parse_date(text, support.regional());
            if (!date) {
                print_usage_error("'" + text + "' ist kein Datum");
                return std::nullopt;
            }
            text = platform::format_date(*date, support.regional());
        }
        job.*field = text;
    }
    for (const auto& [box, check] : line.checks) {
        // As a click on the box: the interlocks follow a change.
        if (job.*box == check) continue;
        job.*box = check;
        settings::Option_Click(job, box);
    }
    // A stored value that could not be read is not run without: this run's
    // own value may stand in for it.
    for (const settings::Refused_Value& refused : stored.refused) {
        const bool replaced =
            std::any_of(line.texts.begin(), line.texts.end(),
                        [&](const auto& text) { return refused.name == settings::Stored_Name(text.first); }) ||
            std::any_of(line.checks.begin(), line.checks.end(),
                        [&](const auto& check) { return refused.name == settings::Stored_Name(check.first); });
        if (!replaced) return std::nullopt;
    }
    // A folder this run gave, even as an empty text, is the run's own
    // mistake, which the start names; a folder missing from the store is
    // the store's.
    const auto given = [&](engine::Text_Setting field) {
        return std::any_of(line.texts.begin(), line.texts.end(), [&](const auto& text) { return text.first == field; });
    };
    const bool source_missing = job.Sourcefolder.empty() && !given(&Job_Options::Sourcefolder);
    const bool target_missing = job.Targetfolder.empty() && !given(&Job_Options::Targetfolder);
    if (source_missing || target_missing) {
        std::fprintf(stderr, "zentrel: %s\n",
                     settings::No_Stored_Job_Text(stored, source_missing, target_missing).c_str());
        return std::nullopt;
    }
    engine::Later_then_Change(job.Later_then, state, support.regional());
    return job;
}

// How the run ends for its caller: a switch over its outcome, never over
// what was shown.
int exit_status(const engine::Run_Outcome& outcome) {
    switch (engine::Result_Of(outcome)) {
        case engine::Run_Result::Refused:
            return Refused;
        case engine::Run_Result::Cancelled:
            // Without a window only a signal cancels a run.
            return Interrupted_By_Signal;
        case engine::Run_Result::Finished_With_Errors:
            return Finished_With_Errors;
        case engine::Run_Result::Done:
            return Done;
    }
    return Finished_With_Errors;
}

// The start's checks and the evaluation, then what it counted, one path a line.
// A synchronisation's lines say which way each file goes ("->" from the
// source, "<-" from the target), or what else becomes of it.
int dry_run(engine::Copy_Job& job, engine::Run_State& state, bool synchronise) {
    std::vector<std::string> files;
    std::vector<std::string> listed;
    job.Preview_Click([&](const std::string& path) {
        files.push_back(path);
        if (!synchronise) {
            listed.push_back(path);
            return;
        }
        switch (job.Last_Sync_Verdict()) {
            case engine::Sync_Verdict::Conflict:
            case engine::Sync_Verdict::Deleted_Changed:
                listed.push_back("!! " + path + " (Konflikt: beide Fassungen bleiben)");
                break;
            case engine::Sync_Verdict::Deleted_There:
                listed.push_back("-- " + path + " (in den Papierkorb)");
                break;
            default:
                listed.push_back((state.Reverse_Direction ? "<- " : "-> ") + path);
        }
    });
    const int status = exit_status(state.Outcome);
    if (status != Done) return status;
    for (const std::string& line : listed) std::printf("%s\n", line.c_str());
    if (!written(stdout, "Die Liste")) return Finished_With_Errors;
    // Both passes of a synchronisation are listed; each file's size is
    // looked at once more rather than taken from one pass's count.
    std::uintmax_t bytes = 0;
    for (const std::string& file : files) {
        std::error_code failed;
        const std::uintmax_t size = std::filesystem::file_size(file, failed);
        if (!failed) bytes += size;
    }
    std::fprintf(stderr, "%zu Dateien, %ju Bytes würden kopiert\n", files.size(), bytes);
    return written(stderr, "Die Zusammenfassung") ? Done : Finished_With_Errors;
}

using Folder_Identity = std::pair<dev_t, ino_t>;

std::optional<Folder_Identity> identity_of(const std::string& folder) {
    struct stat status {};
    if (folder.empty() || ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    return Folder_Identity{status.st_dev, status.st_ino};
}

// The next synchronisation of the two folders follows the rules without a
// record, as the first one did.
int forget_sync_record(const Job_Options& job) {
    if (!identity_of(job.Sourcefolder) || !identity_of(job.Targetfolder)) {
        std::fprintf(stderr, "zentrel: Quell- oder Zielverzeichnis existiert nicht\n");
        return Refused;
    }
    try {
        // Known as a run knows them, by the folders a link leads to.
        platform::File_System& fs = platform::real_file_system();
        auto identity = [&](const std::string& folder) {
            const std::string real = fs.canonical(folder);
            const auto status = fs.status(real);
            if (!status) throw platform::File_System_Error(ENOENT, folder);
            return platform::identify_folder(fs, real, *status).identity;
        };
        const bool forgotten = platform::forget_sync_record(platform::sync_record_file(), identity(job.Sourcefolder),
                                                            identity(job.Targetfolder));
        std::fprintf(stderr, forgotten ? "Die Aufzeichnung der letzten Synchronisation ist vergessen\n"
                                       : "Für diese Verzeichnisse gibt es keine Aufzeichnung\n");
        return Done;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "zentrel: %s\n", failure.what());
        return Finished_With_Errors;
    }
}

// "3 Dateien kopiert (1,5 MB), 20 unverändert": what the run wrote, also
// when it was nothing.
std::string copied_text(const engine::Run_Outcome& outcome, const cli::Progress_Line& progress) {
    std::string text = outcome.files_copied == 0 ? std::string("Keine Datei kopiert")
                                                 : std::to_string(outcome.files_copied) + " Dateien kopiert (" +
                                                       progress.Bytes_Text(outcome.bytes_copied) + ")";
    if (outcome.files_unchanged > 0) text += ", " + std::to_string(outcome.files_unchanged) + " unverändert";
    if (outcome.files_trashed > 0)
        text += ", " + std::to_string(outcome.files_trashed) + " in den Papierkorb verschoben";
    return text;
}

int report(const engine::Run_State& state, const cli::Progress_Line& progress) {
    const engine::Run_Outcome& outcome = state.Outcome;
    // A refused job has said why; one stopped by an unexpected failure has
    // written its message instead of a summary.
    if (outcome.began && !outcome.failed_unexpectedly) {
        std::fprintf(stderr, "%s\n", engine::Final_Status_Text(outcome, state.Reverse_Direction).c_str());
        std::fprintf(stderr, "%s\n", copied_text(outcome, progress).c_str());
    }
    for (const engine::Copy_Failure& entry : state.Errors)
        std::fprintf(stderr, "  %s -- %s\n", engine::Error_Entry_Text(entry).c_str(),
                     cli::One_Line(engine::Copy_Failure_Text(entry)).c_str());
    return exit_status(outcome);
}

}  // namespace

int main(int argc, char** argv) {
    zentrel::platform::hand_back_large_blocks();
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
        return written(stdout, "Die Hilfe") ? Done : Finished_With_Errors;
    }
    if (line->version) {
        std::printf("zentrel %s\n", ZENTREL_VERSION);
        return written(stdout, "Die Versionsnummer") ? Done : Finished_With_Errors;
    }
    cli::Catch_Interrupts();

    const auto regional = platform::Regional_Settings::from_environment();
    engine::Run_State state;
    cli::Terminal_Display display;
    cli::Progress_Line progress(stderr, isatty(STDERR_FILENO) == 1, regional.decimal_separator);
    cli::Console_Host host(*line, display, state, progress, regional.decimal_separator);
    support::Support_Routines support(host, platform::real_file_system(), regional);
    const std::optional<Job_Options> loaded = load_job(*line, state, support);
    if (!loaded) return Refused;
    // Fixed for the whole run: nobody changes it meanwhile.
    const Job_Options& options = *loaded;
    const engine::Options_View current(options);

    if (line->forget_sync_record) return forget_sync_record(options);

    engine::Copy_Job job(current, display, support, state);
    job.Set_Events(host);
    if (line->dry_run) {
        const int status = dry_run(job, state, options.Synchronize != 0);
        progress.Clear();
        return status;
    }
    const std::optional<Folder_Identity> target_before = identity_of(options.Targetfolder);
    job.Start_Click();
    progress.Clear();
    int status = report(state, progress);
    // The run writes into the folder it opened at its start; a folder moved
    // away meanwhile has the files under its new name, not where the user looks.
    if (state.Outcome.began && target_before && identity_of(options.Targetfolder) != target_before) {
        std::fprintf(stderr,
                     "zentrel: das Zielverzeichnis %s wurde während der Ausführung verschoben oder ersetzt; die "
                     "kopierten Dateien liegen nicht dort\n",
                     options.Targetfolder.c_str());
        if (status == Done) status = Finished_With_Errors;
    }
    return written(stderr, "Die Zusammenfassung") || status != Done ? status : Finished_With_Errors;
}
