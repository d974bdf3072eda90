#include "engine/copy_job.h"

#include <cerrno>
#include <exception>

namespace zentrel::engine {

namespace {

// Copies tried without asking the user in between: one into the folder the
// file's predecessor made, one more after making it again. Past this bound a
// copy that keeps failing is reported, never tried again on its own.
constexpr int Unasked_Copy_Limit = 3;

void ignoring_failure(const auto& operation) {
    try {
        operation();
    } catch (...) {
    }
}

// The platform's description of a failure, for the prompt that reports it.
std::string description_of(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "";
    }
}

// The errno of a platform failure, 0 for any other.
int error_number_of(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const platform::File_System_Error& error) {
        return error.error_number();
    } catch (...) {
        return 0;
    }
}

bool is_full(int error_number) { return error_number == ENOSPC || error_number == EDQUOT; }

}  // namespace

void Copy_Job::Fail_On_Full_Target(const std::string& Entry, const std::string& Reason, bool& Ignore_All, bool& Abort) {
    // Every later file would fail the same way: one question, not one box
    // each, and the rest fail at once.
    if (!target_full_ && !Ignore_All) {
        const std::string folder = state_->Reverse_Direction ? options_->Sourcefolder() : options_->Targetfolder();
        if (events_->Target_Full(folder) == Full_Target_Answer::Stop) {
            Abort = true;
            state_->Outcome.stopped_at_failure = true;
        }
    }
    target_full_ = true;
    display_->Add_Error(Entry, "Konnte Datei nicht kopieren: " + Entry + "\r\n" + Reason);
}

bool Copy_Job::Copy_Error(const std::string& Prompt, const std::string& Entry, bool Retry_Allowed, bool& Ignore_All,
                          bool& Abort) {
    if (!Ignore_All) {
        const int answer = support_->Message_Box(Prompt, support::Buttons_Abort_Retry_Ignore);
        if (answer == support::Answer_Retry && Retry_Allowed) return true;
        if (answer == support::Answer_Ignore || answer == support::Answer_Retry) {
            Ignore_All = support_->Message_Box("Alle weiteren Fehler ignorieren?", support::Buttons_Yes_No) ==
                         support::Answer_Yes;
        } else {
            // Abort, or a box closed without a choice: stopping is the safe reading.
            Abort = true;
            state_->Outcome.stopped_at_failure = true;
        }
    }
    display_->Add_Error(Entry, Prompt);
    return false;
}

bool Copy_Job::Copy_File(std::optional<platform::File>& Source, const std::string& Target, bool& Ignore_All,
                         bool& Abort) {
    const std::string prefix = support::Filepath(Target, false) + support::Separator;
    const std::string temporary = prefix + Temporary_Name;
    // A target that itself bears the parking name cannot be parked; the
    // all-or-nothing copy keeps its old version safe instead.
    const bool target_is_temporary = Target.ends_with(support::Separator + std::string(Temporary_Name));

    enum class Step { Source_Check, Look_Up_Target, Make_Target_Folder, Remove_Leftover, Park, Copy, Restore, Failed };
    Step step = Step::Source_Check;
    std::optional<platform::File> existing;
    std::optional<platform::File> parked;
    // The test that chose the file has just looked at its target; the first
    // attempt takes its finding, a retry looks again.
    bool target_tested = tested_target_.valid && tested_target_.path == Target;
    // Absent by the evaluation's verdict: copied without replacing
    // anything; whatever fails goes back to the walk's full test.
    bool on_verdict = target_tested && tested_target_.trusted_absent;
    tested_target_.valid = false;
    tested_target_.trusted_absent = false;
    // The target folder was there for the file before: its look is spared
    // until a copy into it fails.
    bool folder_assumed = false;
    bool changed = false;  // a file-system change has been attempted
    bool copy_failed = false;
    // The target is replaced without being parked (the parking name is
    // taken): after a failed copy it is still there, its old version.
    bool unparked = false;
    // Why the last copy attempt failed, so the prompt can tell the user.
    std::string why_failed;
    int why_errno = 0;

    auto entry = [&] { return Source ? Source->Path() : std::string("Quelldatei existiert nicht"); };
    int unasked_copies = 0;
    auto retry = [&](const std::string& prompt) {
        unasked_copies = 0;
        return Copy_Error(prompt, entry(), true, Ignore_All, Abort);
    };

    for (;;) {
        try {
            switch (step) {
                case Step::Source_Check:
                    if (!Source) {
                        Copy_Error("Quelldatei existiert nicht", entry(), false, Ignore_All, Abort);
                        return false;
                    }
                    step = Step::Look_Up_Target;
                    break;

                case Step::Look_Up_Target:
                    parked.reset();
                    unparked = false;
                    if (target_tested)
                        existing = std::move(tested_target_.file);
                    else
                        existing = support_->Find_File(Target);
                    target_tested = false;
                    if (existing) made_folder_ = prefix;
                    if (!existing)
                        step = Step::Make_Target_Folder;
                    else
                        step = target_is_temporary ? Step::Copy : Step::Remove_Leftover;
                    break;

                case Step::Make_Target_Folder: {
                    // A folder that cannot be made is this file's failure, not
                    // the walk's: the file must reach the error list.
                    std::string description;
                    bool made = false;
                    if (prefix == made_folder_) {
                        folder_assumed = made = true;
                    } else {
                        try {
                            made = support_->Make_Folder(prefix);
                        } catch (const std::exception& failure) {
                            description = failure.what();
                            if (is_full(error_number_of(std::current_exception()))) {
                                Fail_On_Full_Target(entry(), description, Ignore_All, Abort);
                                return false;
                            }
                        }
                    }
                    if (made) {
                        made_folder_ = prefix;
                        step = Step::Copy;
                        break;
                    }
                    std::string prompt = "Konnte Zielverzeichnis nicht erstellen: " + prefix;
                    if (!description.empty()) prompt += "\r\n" + description;
                    if (!retry(prompt)) return false;
                    break;
                }

                case Step::Remove_Leftover:
                    changed = true;
                    if (auto leftover = support_->Find_File(temporary)) {
                        if (!Parked_Version_Is_Stale(temporary)) {
                            // Perhaps the only copy of an old version: it
                            // stays, and the copy replaces the target all at
                            // once instead of parking it.
                            Report_Kept_Parked_Version(temporary);
                            unparked = true;
                            step = Step::Copy;
                            break;
                        }
                        ignoring_failure([&] { leftover->Set_Attributes(0); });
                        ignoring_failure([&] { leftover->Delete(false); });
                        if (support_->Find_File(temporary)) {
                            if (!retry("Konnte Temporärdatei nicht löschen: " + temporary)) return false;
                            break;
                        }
                    }
                    step = Step::Park;
                    break;

                case Step::Park: {
                    changed = true;
                    bool moved = false;
                    // Named before the move, so that a run killed at any
                    // moment after it leaves a parked file a later run can
                    // judge.
                    platform::File_System& fs = support_->file_system();
                    const std::string name = existing->Name();
                    const std::string from = existing->Path();
                    ignoring_failure([&] { fs.set_attribute(from, Parked_From_Attribute, name); });
                    ignoring_failure([&] {
                        existing->Move(temporary);
                        moved = true;
                    });
                    // A move that reports success has put it there; only a
                    // failed one is looked for.
                    parked = moved ? existing : support_->Find_File(temporary);
                    if (!parked) {
                        ignoring_failure([&] { fs.remove_attribute(from, Parked_From_Attribute); });
                        if (!retry("Konnte Zieldatei nicht überschreiben: " + existing->Path())) return false;
                        step = Step::Look_Up_Target;
                        break;
                    }
                    step = Step::Copy;
                    break;
                }

                case Step::Copy: {
                    if (++unasked_copies > Unasked_Copy_Limit) {
                        step = Step::Restore;
                        break;
                    }
                    changed = true;
                    copy_failed = false;
                    platform::File& source = *Source;
                    support_->Run_Keeping_Window_Alive(
                        [&] {
                            try {
                                source.Copy(Target, !on_verdict);
                            } catch (...) {
                                copy_failed = true;
                                why_failed = description_of(std::current_exception());
                                why_errno = error_number_of(std::current_exception());
                            }
                        },
                        source.Size(),
                        [&](std::uint64_t done) {
                            // The bar moves with a large file's bytes while it is
                            // copied in a run; the byte counters change after it.
                            if (state_->Source_Bytes != 0 && state_->Run_Under_Way)
                                Show_Progress((state_->Processed_Bytes + static_cast<double>(done)) /
                                              state_->Source_Bytes);
                        });
                    // The tree changed since the verdict (the target appeared,
                    // the file or its folder went): tested anew by the walk.
                    // Any other failure is this copy's own.
                    if (copy_failed && on_verdict &&
                        (why_errno == EEXIST || why_errno == ENOENT || why_errno == ELOOP || why_errno == ENOTDIR)) {
                        verdict_failed_ = true;
                        return false;
                    }
                    on_verdict = false;
                    // A copy that reports success has put the whole file under
                    // its name. One that failed late may have done so as well,
                    // unless the name is our temporary one.
                    const bool copied =
                        !copy_failed || (!target_is_temporary && !unparked && support_->Find_File(Target).has_value());
                    if (copied) {
                        // Parked by this call: its old version goes, read-only
                        // or not, and no run leaves one behind.
                        if (parked) ignoring_failure([&] { parked->Delete(true); });
                        return true;
                    }
                    made_folder_.clear();
                    if (folder_assumed) {
                        // The folder may have gone since: made again before
                        // the failure counts.
                        folder_assumed = false;
                        step = Step::Make_Target_Folder;
                        break;
                    }
                    step = Step::Restore;
                    break;
                }

                case Step::Restore:
                    if (parked) {
                        ignoring_failure([&] { parked->Move(Target); });
                        if (platform::normalize_path(parked->Path()) != platform::normalize_path(Target)) {
                            if (!retry("Konnte Datei nicht zurückschreiben: \r\n" + temporary + "\r\nauf: " + Target))
                                return false;
                            break;
                        }
                        ignoring_failure(
                            [&] { support_->file_system().remove_attribute(Target, Parked_From_Attribute); });
                        parked.reset();
                    }
                    step = Step::Failed;
                    break;

                case Step::Failed:
                    if (is_full(why_errno)) {
                        Fail_On_Full_Target(entry(), why_failed, Ignore_All, Abort);
                        return false;
                    }
                    if (!retry("Konnte Datei nicht kopieren: " + entry() +
                               (why_failed.empty() ? "" : "\r\n" + why_failed)))
                        return false;
                    why_failed.clear();
                    why_errno = 0;
                    step = Step::Source_Check;
                    break;
            }
        } catch (...) {
            if (!changed) throw;
            why_failed = description_of(std::current_exception());
            why_errno = error_number_of(std::current_exception());
            // A failure while already recovering is not retried: the file
            // counts as not copied, and nothing more is touched.
            if (step == Step::Restore || step == Step::Failed) {
                display_->Add_Error(entry(), "Konnte Datei nicht kopieren: " + entry() + "\r\n" + why_failed);
                return false;
            }
            step = Step::Restore;
        }
    }
}

}  // namespace zentrel::engine
