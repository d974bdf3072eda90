#include "engine/byte_display.h"
#include "engine/copy_job.h"

#include <cerrno>
#include <exception>

namespace zentrel::engine {

void Copy_Job::Report_Folder_Failure(const std::string& Folder_Path, const std::string& Description, int Step) {
    try {
        events_->Folder_Failed({Folder_Trouble::Walk_Failed, Folder_Path, Description, Step});
    } catch (...) {
    }
}

void Copy_Job::Count_Failed_File(bool Folder) {
    Increment_Counter(Folder ? state_->Outcome.folders_unfinished : state_->Outcome.files_failed);
    Increment_Counter(state_->Error_Files);
    display_->Show_Count(File_Counter::Error_Files, state_->Error_Files);
    display_->Show_Error_Counter(true);
}

void Copy_Job::Add_Unfinished_Folder(const std::string& Folder_Path, Copy_Trouble Why, const std::string& Detail,
                                     int Step) {
    try {
        const std::string entry = support::Trailing_Backslash(Folder_Path, false);
        // A folder whose listing failed may fail again when its subfolders
        // are asked for: one entry is enough.
        if (!state_->Errors.empty() && state_->Errors.back().path == entry) return;
        List_Error({.trouble = Why, .path = entry, .detail = Detail, .step = Step});
        ++unfinished_in_pass_;
        Count_Failed_File(true);
        display_->Arrange_Error_List();
    } catch (...) {
    }
}

void Copy_Job::Reset_Archive_Bit(platform::File& SFile) {
    // A link has no archive bit of its own.
    if (SFile.Is_Link() || !(SFile.Attributes() & platform::Attribute_Archive)) return;
    try {
        SFile.Clear_Archive();
    } catch (const std::exception& failure) {
        // The file is copied all the same and keeps its bit: the next run
        // with Only_Archive tests it again, and copies it only if it differs
        // from its copy by then, like any other file.
        if (archive_kept_++ == 0) archive_kept_reason_ = failure.what();
    }
}

void Copy_Job::Report_Kept_Archive_Bits() {
    if (archive_kept_ == 0) return;
    events_->Archive_Bits_Kept(archive_kept_, archive_kept_reason_);
}

void Copy_Job::Confirm_Gone(const std::string& Path) const {
    try {
        support_->file_system().status(Path);
    } catch (const platform::File_System_Error& failure) {
        if (failure.error_number() == EACCES || failure.error_number() == EPERM) throw;
    }
}

// Looked at as it is, never through a link: a link put in the folder's
// place leads elsewhere, and the walk does not go there.
bool Copy_Job::Still_A_Folder(const std::string& Folder_Path) const {
    try {
        const auto status = support_->file_system().status(Folder_Path);
        return status && status->kind == platform::Entry_Kind::Directory;
    } catch (...) {
        return false;
    }
}

void Copy_Job::Process_Folder(const platform::Folder& SFolder, bool& Ignore_All, bool& Abort) {
    // The number of the step under way, named in the failure message.
    int step = 1;
    try {
        if (options_now()->Copy_Empty_Folders) {
            try {
                support_->Make_Folder(Targetfile(SFolder.Path()));
            } catch (...) {
                // A folder that cannot be made shows itself when a file is copied into it.
            }
        }

        step = 2;
        // The listing reads each file's stored attribute to leave out hidden
        // and system files; the file test uses those bytes instead of reading
        // them again. They live while this folder's files are processed: a
        // change another program makes to a file's attributes between the
        // listing and the file's test is seen by the next run, just as one
        // made after the test.
        Folder_Listing listing = Get_Folder_Files(SFolder.Path(), options_now()->Include_Filter,
                                                  options_now()->Exclude_Filter, Listing_Classes(), Listing_For::Walk);
        if (listing.failed) Add_Unfinished_Folder(SFolder.Path(), Copy_Trouble::Folder_Unreadable);

        step = 3;
        if (!Walk_Files(SFolder, listing, step, Ignore_All, Abort)) return;

        step = 15;
        // Also where nothing was copied: a killed run's old version waits
        // beside the file that has replaced it since.
        Clear_Parked_Version(Targetfile(SFolder.Path()));
        // A large folder's list goes before its subfolders are walked.
        listing = {};
        Note_Option_Change();
        if (options_now()->Include_Subfolders) {
            step = 16;
            // Read again, unlike in the evaluation: copying the files takes
            // a while, and a folder replaced by a link meanwhile must show
            // as not finished rather than pass unseen.
            for (const platform::Folder& subfolder : SFolder.SubFolders()) {
                step = 17;
                if (!Is_Other_Root(subfolder) && Do_Process_Folder(subfolder))
                    Process_Folder(subfolder, Ignore_All, Abort);
                step = 18;
                if (Abort) return;
            }
        }

        step = 19;
        display_->Show_Status("");
    } catch (const std::exception& failure) {
        Drop_Batch();
        Report_Folder_Failure(SFolder.Path(), failure.what(), step);
        Add_Unfinished_Folder(SFolder.Path(), Copy_Trouble::Folder_Failed, failure.what(), step);
    } catch (...) {
        Drop_Batch();
        Report_Folder_Failure(SFolder.Path(), "", step);
        Add_Unfinished_Folder(SFolder.Path(), Copy_Trouble::Folder_Failed, "", step);
    }
}

bool Copy_Job::Walk_Files(const platform::Folder& SFolder, const Folder_Listing& Listing, int& Step, bool& Ignore_All,
                          bool& Abort) {
    // Two names that differ only in letter case become one file on FAT,
    // exFAT or NTFS: the first is copied, the later ones fail, run after
    // run, instead of replacing each other.
    const std::vector<std::string> collisions = Case_Collisions(Listing);
    support::Ui_Host& host = support_->host();
    // A file whose copy on the evaluation's verdict found the tree changed:
    // tested in full.
    long tested_in_full = 0;
    for (long i = 1; i <= Listing.count(); ++i) {
        const std::string collides_with = collisions.empty() ? "" : collisions[i];
        // Asked once a file: it notes a change of the options.
        const bool verdicts_hold = Verdicts_Hold(Listing) && collides_with.empty();
        const auto at = static_cast<std::size_t>(i);
        // A file of a large folder may come long after its folder's listing.
        const bool known_unchanged = verdicts_hold && !Listing.unchanged.empty() && Listing.unchanged[at] &&
                                     Evaluation_Verdicts::Fresh(Listing.judged);
        // To be copied into an absent target: the copy's own look at the
        // file is the walk's.
        const bool known_absent = verdicts_hold && i != tested_in_full && !Listing.absent.empty() && Listing.absent[at];
        Step = 4;
        std::optional<platform::File> file;
        if (known_absent) {
            platform::Entry_Status regular;
            regular.kind = platform::Entry_Kind::Regular;
            file.emplace(support_->file_system(), platform::normalize_path(Listing.path(i)), regular);
        } else if (!known_unchanged) {
            file = Look_Up_Listed(Listing.path(i), Ignore_All, Abort);
            // Not there: the file went away, or its folder did (deleted, or
            // swapped for a link the run does not follow). Only the first is
            // nothing to report; the folder's remaining files cannot be
            // reached either.
            if (!file && !Still_A_Folder(SFolder.Path())) {
                Add_Unfinished_Folder(SFolder.Path(), Copy_Trouble::Folder_Gone);
                break;
            }
        }
        if ((file || known_unchanged) &&
            !Walk_File(file, Listing, i, collides_with, known_unchanged, known_absent, Step, Ignore_All, Abort)) {
            // Cancelled: the copies made so far are whole and get their names.
            Name_Batch(Step, Ignore_All, Abort);
            return false;
        }
        if (verdict_failed_) {
            // Counted once, when it is walked again.
            verdict_failed_ = false;
            --state_->Handled_Files;
            tested_in_full = i--;
            continue;
        }

        Step = 14;
        host.Process_Events();
        if (state_->Cancel_Requested) {
            Name_Batch(Step, Ignore_All, Abort);
            return false;
        }
    }
    Name_Batch(Step, Ignore_All, Abort);
    return true;
}

// Found unchanged, or to be copied into an absent target, by this pass's
// evaluation: no second look, as long as the folder holds the same names
// and the options are still those it judged by, not before a change the
// user made since. How long each verdict holds is the caller's to weigh.
bool Copy_Job::Verdicts_Hold(const Folder_Listing& Listing) {
    const bool as_evaluated = Note_Option_Change();
    return Listing.verdict_options == evaluation_options_ ? as_evaluated : Test_Options_Are(Listing.verdict_options);
}

std::optional<platform::File> Copy_Job::Look_Up_Listed(const std::string& Path, bool& Ignore_All, bool& Abort) {
    std::optional<platform::File> file;
    try {
        file = support_->Find_File(Path);
    } catch (const std::exception& failure) {
        // A file that cannot even be looked at is this file's failure, not
        // its folder's.
        Copy_Error({.trouble = Copy_Trouble::Source_Unreachable, .path = Path, .detail = failure.what()}, Ignore_All,
                   Abort);
        Count_Failed_File();
        display_->Arrange_Error_List();
    }
    // The look-up tells nothing of why: a folder that may be read but not
    // searched refuses every look with "permission denied", and its files
    // are there all the same. Only "no such file" means the file went away.
    if (!file) Confirm_Gone(Path);
    return file;
}

bool Copy_Job::Walk_File(std::optional<platform::File>& File, const Folder_Listing& Listing, long Index,
                         const std::string& Collides_With, bool Known_Unchanged, bool Known_Absent, int& Step,
                         bool& Ignore_All, bool& Abort) {
    support::Ui_Host& host = support_->host();
    Increment_Counter(state_->Handled_Files);
    if (File) Use_Listed_Attribute(*File, Listing.attributes, Index);
    Step = 5;
    const std::string path = File ? File->Path() : Listing.path(Index);
    display_->Show_File(Phase::Copying, path);
    host.Process_Events();

    Step = 6;
    if (Known_Absent && Copy_Into_Batch(*File, path, Listing, Index)) {
        // Each copy waiting for its name holds an open file.
        if (batched_.size() >= Batch_Files) Name_Batch(Step, Ignore_All, Abort);
        return true;
    }
    // Copied on its own, the file's size decides whether the window stays
    // alive meanwhile: a verdict from a while ago may no longer tell it.
    if (Known_Absent && !Evaluation_Verdicts::Fresh(Listing.judged)) {
        File = Look_Up_Listed(path, Ignore_All, Abort);
        if (!File) return true;
        Use_Listed_Attribute(*File, Listing.attributes, Index);
    }
    if (Known_Absent) tested_target_ = {Targetfile(path), std::nullopt, true, true};
    if (!Known_Unchanged &&
        (Known_Absent || (!Collides_With.empty() ? Selected_By_Attributes(*File) : Do_Process(*File)))) {
        display_->Show_File(Phase::Copying, path);
        host.Process_Events();
        Copy_Chosen(File, path, Collides_With, Step, Ignore_All, Abort);
    } else {
        Increment_Counter(state_->Outcome.files_unchanged);
        display_->Show_File(Phase::Skipping, path);
        host.Process_Events();
        if (state_->Cancel_Requested) return false;
    }
    display_->Show_Count(File_Counter::Processed_Files, state_->Processed_Files);
    return true;
}

void Copy_Job::Copy_Chosen(std::optional<platform::File>& File, const std::string& Path,
                           const std::string& Collides_With, int& Step, bool& Ignore_All, bool& Abort) {
    // Whatever the batch holds is named first: a question about this file
    // must come with the counters of the files before it.
    Name_Batch(Step, Ignore_All, Abort);
    Step = 7;
    const std::string target = Targetfile(Path);
    Remove_Stale_Partial_Copies(target);
    const bool copied = !Collides_With.empty() ? Report_Case_Collision(*File, Collides_With, Ignore_All, Abort)
                        : sync_                ? Carry_Out_Sync(File, target, Ignore_All, Abort)
                                               : Copy_File(File, target, Ignore_All, Abort);
    // Copied on the evaluation's verdict into a tree that changed since:
    // the walk tests the file again, and nothing is counted yet.
    if (verdict_failed_) return;

    Step = 8;
    if (!copied) Count_Failed_File();

    Step = 9;
    display_->Arrange_Error_List();

    Step = 10;
    // A file moved to the trash was not copied (sync_run.cpp).
    const bool trashed = copied && sync_verdict_ == Sync_Verdict::Deleted_There;
    if (copied && !trashed) Note_Copied(*File, Step);

    Step = 12;
    display_->Show_Bytes(Byte_Count_Kind::Copied, state_->Processed_Bytes);
    if (state_->Source_Bytes != 0) Show_Progress(state_->Processed_Bytes / state_->Source_Bytes);
    display_->Repaint();

    Step = 13;
}

}  // namespace zentrel::engine
