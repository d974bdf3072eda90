#include "engine/byte_display.h"
#include "engine/copy_job.h"

#include <cerrno>
#include <exception>

namespace zentrel::engine {

void Copy_Job::Report_Folder_Failure(const std::string& Folder_Path, const std::string& Description, int Step) {
    try {
        support_->Message_Box("Fehler bei der Verarbeitung von Verzeichnis:\r\n" + Folder_Path + "\r\n" + Description +
                                  "\r\nZeile: " + std::to_string(Step),
                              support::Buttons_OK);
    } catch (...) {
    }
}

void Copy_Job::Count_Failed_File(bool Folder) {
    Increment_Counter(Folder ? state_->Outcome.folders_unfinished : state_->Outcome.files_failed);
    Increment_Counter(state_->Error_Files);
    display_->Show_Count(File_Counter::Error_Files, state_->Error_Files);
    display_->Show_Error_Counter(true);
}

void Copy_Job::Add_Unfinished_Folder(const std::string& Folder_Path, const std::string& Reason) {
    try {
        const std::string entry = support::Trailing_Backslash(Folder_Path, false);
        // A folder whose listing failed may fail again when its subfolders
        // are asked for: one entry is enough.
        if (display_->Error_Count() > 0 && display_->Last_Error() == entry) return;
        display_->Add_Error(entry, "Das Verzeichnis konnte nicht vollständig verarbeitet werden: " + Reason);
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
    support_->Message_Box("Bei " + std::to_string(archive_kept_) +
                              " kopierten Dateien konnte das Archivbit nicht zurückgesetzt werden\r\n" +
                              archive_kept_reason_ +
                              "\r\nIhr Archivbit bleibt gesetzt. Die nächste Ausführung kopiert sie nur, wenn sie "
                              "sich bis dahin ändern oder ihre Kopie im Ziel fehlt oder abweicht.",
                          support::Buttons_OK);
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
        if (options_->Copy_Empty_Folders()) {
            try {
                support_->Make_Folder(Targetfile(SFolder.Path()));
            } catch (...) {
                // A folder that cannot be made shows itself when a file is copied into it.
            }
        }

        step = 2;
        std::vector<std::string> files;
        // The listing reads each file's stored attribute to leave out hidden
        // and system files; the file test below uses those bytes instead of
        // reading them again. They live while this folder's files are
        // processed: a change another program makes to a file's attributes
        // between the listing and the file's test is seen by the next run,
        // just as one made after the test.
        platform::Listed_Attributes listed;
        listing_for_ = Listing_For::Walk;
        const long count = Get_Folder_Files(SFolder.Path(), options_->Include_Filter(), options_->Exclude_Filter(),
                                            files, Listing_Classes(), &listed);
        if (listing_failed_) Add_Unfinished_Folder(SFolder.Path(), "seine Dateien konnten nicht gelesen werden");

        step = 3;
        // Two names that differ only in letter case become one file on FAT,
        // exFAT or NTFS: the first is copied, the later ones fail, run after
        // run, instead of replacing each other.
        const std::vector<std::string> collisions = Case_Collisions(files, count);
        // The files the evaluation of this pass found unchanged need no
        // second look, as long as the folder and the options are the same.
        const std::vector<bool> unchanged = std::move(listing_unchanged_);
        support::Ui_Host& host = support_->host();
        const std::string verdict_options = std::move(listing_options_);
        const auto judged = listing_judged_;
        const std::vector<bool> absent = std::move(listing_absent_);
        // A file whose copy on the evaluation's verdict failed: tested in full.
        long tested_in_full = 0;
        for (long i = 1; i <= count; ++i) {
            const std::string collides_with = collisions.empty() ? "" : collisions[i];
            // Found unchanged by this pass's evaluation: no second look, as
            // long as the options are still those it judged by and it
            // judged a moment ago, not before a change the user made since.
            const bool options_as_judged = Current_Test_Options() == verdict_options;
            const bool known_unchanged = !unchanged.empty() && unchanged[static_cast<std::size_t>(i)] &&
                                         collides_with.empty() && options_as_judged &&
                                         Evaluation_Verdicts::Clock::now() - judged < Evaluation_Verdicts::Trust_Span;
            // To be copied into an absent target: the copy's own look at
            // the file is the walk's.
            const bool known_absent = !absent.empty() && absent[static_cast<std::size_t>(i)] && i != tested_in_full &&
                                      collides_with.empty() && options_as_judged &&
                                      Evaluation_Verdicts::Clock::now() - judged < Evaluation_Verdicts::Trust_Span;
            step = 4;
            std::optional<platform::File> file;
            if (known_absent) {
                platform::Entry_Status regular;
                regular.kind = platform::Entry_Kind::Regular;
                file.emplace(support_->file_system(), platform::normalize_path(files[i]), regular);
            } else if (!known_unchanged) {
                try {
                    file = support_->Find_File(files[i]);
                } catch (const std::exception& failure) {
                    // A file that cannot even be looked at is this file's
                    // failure, not its folder's.
                    Copy_Error("Konnte Datei nicht kopieren: " + files[i] + "\r\n" + failure.what(), files[i], false,
                               Ignore_All, Abort);
                    Count_Failed_File();
                    display_->Arrange_Error_List();
                }
                // The look-up tells nothing of why: a folder that may be read
                // but not searched refuses every look with "permission
                // denied", and its files are there all the same. Only "no
                // such file" means the file went away.
                if (!file) Confirm_Gone(files[i]);
                // Not there: the file went away, or its folder did (deleted,
                // or swapped for a link the run does not follow). Only the
                // first is nothing to report; the folder's remaining files
                // cannot be reached either.
                if (!file && !Still_A_Folder(SFolder.Path())) {
                    Add_Unfinished_Folder(SFolder.Path(),
                                          "es ist verschwunden oder wurde durch eine Verknüpfung ersetzt");
                    break;
                }
            }
            if (file || known_unchanged) {
                if (i != tested_in_full) Increment_Counter(state_->Handled_Files);
                if (file) Use_Listed_Attribute(*file, listed, i);
                step = 5;
                const std::string& path = file ? file->Path() : files[i];
                display_->Show_Status("kopiere " + path);
                host.Process_Events();

                step = 6;
                if (known_absent) tested_target_ = {Targetfile(path), std::nullopt, true, true};
                if (!known_unchanged &&
                    (known_absent || (!collides_with.empty() ? Selected_By_Attributes(*file) : Do_Process(*file)))) {
                    display_->Show_Status("kopiere " + path);
                    host.Process_Events();

                    step = 7;
                    const std::string target = Targetfile(path);
                    Remove_Stale_Partial_Copies(target);
                    const bool copied = !collides_with.empty()
                                            ? Report_Case_Collision(*file, collides_with, Ignore_All, Abort)
                                            : Copy_File(file, target, Ignore_All, Abort);
                    if (verdict_failed_) {
                        verdict_failed_ = false;
                        tested_in_full = i--;
                        continue;
                    }

                    step = 8;
                    if (!copied) Count_Failed_File();

                    step = 9;
                    display_->Arrange_Error_List();

                    step = 10;
                    // Only a file that really reached the target may lose its
                    // archive bit, or the next incremental run would miss it.
                    if (copied && options_->Reset_Archive()) Reset_Archive_Bit(*file);

                    step = 11;
                    // "Dateien kopiert" counts what reached the target, not each attempt.
                    if (copied) {
                        Increment_Counter(state_->Processed_Files);
                        state_->Processed_Bytes += static_cast<double>(file->Size());
                        Increment_Counter(state_->Outcome.files_copied);
                        state_->Outcome.bytes_copied += static_cast<double>(file->Size());
                    }

                    step = 12;
                    display_->Show_Bytes(Byte_Count_Kind::Copied, state_->Processed_Bytes);
                    if (state_->Source_Bytes != 0) Show_Progress(state_->Processed_Bytes / state_->Source_Bytes);
                    display_->Repaint();

                    step = 13;
                } else {
                    Increment_Counter(state_->Outcome.files_unchanged);
                    display_->Show_Status("überspringe " + path);
                    host.Process_Events();
                    if (state_->Cancel_Requested) return;
                }
                display_->Show_Count(File_Counter::Processed_Files, state_->Processed_Files);
            }

            step = 14;
            host.Process_Events();
            if (state_->Cancel_Requested) return;
        }

        step = 15;
        // Also where nothing was copied: a killed run's old version waits
        // beside the file that has replaced it since.
        Clear_Parked_Version(Targetfile(SFolder.Path()));
        listed = {};
        // A large folder's list goes before its subfolders are walked.
        std::vector<std::string>().swap(files);
        Current_Test_Options();
        if (options_->Include_Subfolders()) {
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
        Report_Folder_Failure(SFolder.Path(), failure.what(), step);
        Add_Unfinished_Folder(SFolder.Path(), failure.what() + std::string(" (Zeile: ") + std::to_string(step) + ")");
    } catch (...) {
        Report_Folder_Failure(SFolder.Path(), "Unbekannter Fehler", step);
        Add_Unfinished_Folder(SFolder.Path(), "Unbekannter Fehler (Zeile: " + std::to_string(step) + ")");
    }
}

}  // namespace zentrel::engine
