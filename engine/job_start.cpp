#include "engine/copy_job.h"
#include "engine/folder_identity.h"
#include "platform/tree_lock.h"

#include <cerrno>
#include <cstdint>
#include <exception>
#include <stdexcept>

namespace zentrel::engine {

namespace {

// A failure the start cannot foresee (a mount table that cannot be read, a
// folder that cannot be made) is reported here with its description.
class Start_Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool is_relative(const std::string& folder_text) {
    return !folder_text.empty() && folder_text.front() != support::Separator;
}

std::string comparison_key(std::string path) {
    if (path.empty() || path.back() != support::Separator) path += support::Separator;
    return path;
}

}  // namespace

void Copy_Job::Start_Click() {
    const platform::Folder_Hold held(support_->file_system());
    try {
        Run_Start();
    } catch (const std::exception& failure) {
        // Whatever failed, the user can start again.
        try {
            Set_Run_Under_Way(false);
            display_->Show_Cancel_Button(false);
            support_->Message_Box(failure.what(), support::Buttons_OK + support::Icon_Stop);
        } catch (...) {
        }
    }
}

void Copy_Job::Run_Start() {
    const std::string source_text = options_->Sourcefolder();
    const std::string target_text = options_->Targetfolder();
    // A relative text would count from the program's working folder, which
    // nobody chose for a program started from a desktop; "~" would even
    // become a folder of that name there.
    if (is_relative(source_text) || is_relative(target_text)) {
        support_->Message_Box("Bitte Quell- und Zielverzeichnis mit vollständigem Pfad angeben (beginnend mit /)...",
                              support::Buttons_OK);
        return;
    }
    std::optional<platform::Folder> source;
    if (!source_text.empty()) source = support_->Find_Folder(source_text);
    if (!source) {
        support_->Message_Box("Quellverzeichnis existiert nicht...", support::Buttons_OK);
        return;
    }

    // An empty target text names no folder at all, so there is nothing to
    // compare; the creation below refuses it.
    if (!target_text.empty()) {
        // Judged in the form the walk writes to: the folder objects fold ".."
        // by spelling, the kernel after following a link, and "link/.." may
        // therefore lead elsewhere in the two.
        const std::string source_path = platform::normalize_path(source_text);
        const std::string target_path = platform::normalize_path(target_text);
        const std::string source_key = comparison_key(Get_UNC_Path(source_path));
        const std::string target_key = comparison_key(Get_UNC_Path(target_path));
        const Folder_Relation relation = Relate_Folders(support_->file_system(), source_path, target_path);
        if (source_key == target_key || relation == Folder_Relation::Identical) {
            support_->Message_Box("Quell- und Zielverzeichnis sind identisch...", support::Buttons_OK);
            return;
        }
        if (source_key.starts_with(target_key) || target_key.starts_with(source_key) ||
            relation == Folder_Relation::Nested) {
            support_->Message_Box("Quell- und Zielverzeichis dürfen nicht ineinander liegen...", support::Buttons_OK);
            return;
        }
    }

    state_->Reverse_Direction = false;
    std::optional<platform::Folder> target;
    if (!target_text.empty()) target = support_->Find_Folder(target_text);

    if (!target && (source->Files_Count() + source->SubFolders_Count() != 0 || options_->Copy_Empty_Folders())) {
        if (support_->Message_Box("Zielverzeichnis existiert nicht - soll es neu angelegt werden?",
                                  support::Buttons_Yes_No) != support::Answer_Yes)
            return;
        // A preview writes nothing: its evaluation finds every file missing
        // in the target the run would make.
        if (!Preview) {
            bool made = false;
            try {
                made = support_->Make_Folder(target_text);
            } catch (const std::exception& failure) {
                throw Start_Failure(std::string("Zielverzeichnis konnte nicht angelegt werden...\r\n") +
                                    failure.what());
            }
            if (made) target = support_->Find_Folder(target_text);
            if (!target) {
                support_->Message_Box("Zielverzeichnis konnte nicht angelegt werden...", support::Buttons_OK);
                return;
            }
        }
    }

    // Two runs writing into one tree at once would take each other's parked
    // old versions and copies in progress: the second one does not start.
    platform::Tree_Lock trees;
    if (target && !trees.acquire(target->Path())) {
        support_->Message_Box("Zielverzeichnis wird gerade von einer anderen Ausführung benutzt...",
                              support::Buttons_OK);
        return;
    }
    bool source_locked = false;
    auto lock_source = [&] {
        if (!source_locked) source_locked = trees.acquire(source->Path());
        if (!source_locked)
            support_->Message_Box("Quellverzeichnis wird gerade von einer anderen Ausführung benutzt...",
                                  support::Buttons_OK);
        return source_locked;
    };
    // A synchronisation writes into the source as well.
    if (options_->Synchronize() && !lock_source()) return;

    if (Preview) {
        Set_Run_Under_Way(true);
        Evaluate_Source_Click();
        // A synchronisation copies back what is newer in the target; what
        // the first pass brings there is then the same age and stays.
        if (!state_->Cancel_Requested && options_->Synchronize() && target) {
            state_->Reverse_Direction = true;
            Evaluate_Source_Click();
        }
        Set_Run_Under_Way(false);
        return;
    }

    // Nothing below the two folders is reached through a link that another
    // program puts in a folder's place while the run is under way.
    const platform::Confinement confined(support_->file_system(), Tree_Roots());

    Set_Run_Under_Way(true);
    cleared_folder_.clear();  // a folder cleared by an earlier run may have new leftovers
    made_folder_.clear();
    archive_kept_ = 0;
    archive_kept_reason_.clear();
    bool Ignore_All = false;
    state_->Handled_Files = 0;

    Evaluate_Source_Click();
    if (!state_->Cancel_Requested) {
        display_->Clear_Errors();
        display_->Arrange_Error_List();
        state_->Cancel_Requested = false;
        display_->Show_Cancel_Button(true);
        Process_Folder(*source, Ignore_All, state_->Cancel_Requested);

        // Synchronize may have been set during the first pass.
        if (!state_->Cancel_Requested && options_->Synchronize() && lock_source()) {
            const std::int32_t first_pass_total = state_->Total_Files;
            state_->Reverse_Direction = true;
            Evaluate_Source_Click();
            if (!state_->Cancel_Requested) {
                display_->Show_Cancel_Button(true);
                if (target) {
                    Process_Folder(*target, Ignore_All, state_->Cancel_Requested);
                } else {
                    // The target was never made (an empty source): there is
                    // no folder to walk back from.
                    Report_Folder_Failure("", platform::File_System_Error(ENOENT, target_text).what(), 2);
                }
            }
            // The sum may pass the 32-bit range only as a failure.
            const std::int64_t sum = static_cast<std::int64_t>(first_pass_total) + state_->Total_Files;
            if (sum > INT32_MAX) throw std::overflow_error("Überlauf");
            state_->Total_Files = static_cast<std::int32_t>(sum);
        }
    }

    Set_Run_Under_Way(false);
    std::string summary;
    const long errors = display_->Error_Count();
    if (errors > 0)
        summary = "Kopierfehler bei " + std::to_string(errors) + " Dateien";
    else
        // After a cancel the evaluation's total was never reached.
        summary = std::to_string(state_->Cancel_Requested ? state_->Handled_Files : state_->Total_Files) +
                  " Dateien erfolgreich " + (state_->Reverse_Direction ? "synchronisiert" : "verarbeitet");
    if (state_->Cancel_Requested) summary += " - Abbruch durch Benutzer";
    display_->Show_Status(summary);
    display_->Show_Cancel_Button(false);
    Report_Kept_Archive_Bits();
}

}  // namespace zentrel::engine
