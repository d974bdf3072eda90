// The copy job: start command, evaluation, walk and copy. It reads the
// user's choices through the job options, shows its progress through the
// job display, and asks and reports through the job's events.
#pragma once

#include "engine/evaluation_verdicts.h"
#include "engine/job_display.h"
#include "engine/job_events.h"
#include "engine/job_options.h"
#include "engine/run_state.h"
#include "engine/sync_decisions.h"
#include "platform/file_objects.h"
#include "platform/folder_listing.h"
#include "platform/mounts.h"
#include "support/support_routines.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zentrel::engine {

// The copy parks a target's old version under this name in the target's
// folder while the new one is made.
inline constexpr const char* Temporary_Name = "$$$Temp1$$$";
// The parked file carries the name it was parked from, so that a later run
// can tell a stale old version from a file it must not touch.
inline constexpr const char* Parked_From_Attribute = "user.zentrel.parked_from";

// What Get_Folder_Files found in one reading of a folder.
struct Folder_Listing {
    // The files through the filters and classes, by name at positions 1 to
    // count(); entry 0 is empty, as every caller counts from 1. Names alone:
    // most fit in the string itself, where a folder of a few hundred
    // thousand files would take a block of memory for each path.
    std::string folder;  // with its trailing separator
    std::vector<std::string> names{std::string()};
    long count() const { return static_cast<long>(names.size()) - 1; }
    std::string path(long index) const { return folder + names[static_cast<std::size_t>(index)]; }
    // For the walk and the evaluation: the user.DOSATTRIB bytes the listing
    // read, at the positions of their files.
    platform::Listed_Attributes attributes;
    // The subfolder names of the same reading; none when the listing failed.
    std::optional<std::vector<std::string>> folders;
    // The reading failed (and was reported): no files are listed.
    bool failed = false;
    // For the walk, per file: found unchanged by the evaluation of the pass,
    // or to be copied into an absent target. Empty when the walk must test
    // every file.
    std::vector<bool> unchanged;
    std::vector<bool> absent;
    // The options those verdicts were made under, and when: each file takes
    // its verdict only while both still hold at its turn.
    std::string verdict_options;
    Evaluation_Verdicts::Clock::time_point judged{};
};

// Who asks for a listing: the evaluation records its verdicts by it, the
// walk takes them over; both keep the attribute bytes read.
enum class Listing_For { Other, Evaluation, Walk };

class Copy_Job {
public:
    Copy_Job(const Options_Port& options, Job_Display& display, support::Support_Routines& support, Run_State& state);
    // The job's events may point at its own message-box adapter.
    Copy_Job(const Copy_Job&) = delete;
    Copy_Job& operator=(const Copy_Job&) = delete;

    Run_State& state() const { return *state_; }

    // Who answers the start's questions and hears of its refusals; message
    // boxes unless set.
    void Set_Events(Job_Events& events) { events_ = &events; }
    // Where storage is normally mounted, for the start's check that a
    // missing target is not made on an empty mount point.
    platform::Mount_Point_Rules Mount_Rules;

    // A synchronisation remembers what both sides held after it, in this
    // file (platform::sync_record_file() when empty), to tell an edit made
    // on one side from one made on both.
    std::string Sync_Record_File;
    // What the synchronisation does with the file the file test looked at
    // last (the one a preview is told of); None outside a synchronisation.
    Sync_Verdict Last_Sync_Verdict() const { return sync_verdict_; }

    // The click handler of Start: checks, creation question, evaluation,
    // one or two passes, final status text.
    void Start_Click();
    // A preview of the run: the start's checks and questions as Start_Click
    // makes them, then only the evaluation, in both directions for a
    // synchronisation; Counted_File hears the path of each file a run would
    // copy. Nothing is written; a missing target the user agrees to have
    // made is not made.
    void Preview_Click(const std::function<void(const std::string& Path)>& Counted_File);
    // The click handler of Evaluate_Source (also called by Start_Click).
    void Evaluate_Source_Click();
    void Do_Evaluate_Source(const platform::Folder& SFolder);

    void Process_Folder(const platform::Folder& SFolder, bool& Ignore_All, bool& Abort);
    bool Do_Process(const platform::File& SFile);
    // The file test's rules that look at the file alone (attributes, date).
    bool Selected_By_Attributes(const platform::File& SFile);
    bool Do_Process_Folder(const platform::Folder& SFolder);

    // Copies one file with the replace-safely scheme and the
    // Abort/Retry/Ignore protocol; true when the target exists afterwards.
    bool Copy_File(std::optional<platform::File>& Source, const std::string& Target, bool& Ignore_All, bool& Abort);

    // The error list's single-file copy: Copy_File on its own, with its own
    // answers to the failure questions, told as the outcome of one file.
    Run_Outcome Copy_Single_File(std::optional<platform::File>& Source, const std::string& Target);
    // The same for one of several files copied again in a row, which share
    // the choice to ignore all further errors, or to stop.
    Run_Outcome Copy_Single_File(std::optional<platform::File>& Source, const std::string& Target, bool& ignore_all,
                                 bool& abort);

    void Show_Progress(double Percent);
    std::string Targetfile(const std::string& Source_Path) const;
    std::string Get_UNC_Path(const std::string& Path) const;

    // The files of one folder through the include and exclude filters.
    // Classes (platform::Listing_Classes) adds hidden or system files. A
    // failure is reported and lists nothing.
    Folder_Listing Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                                    const std::string& Exclude_Pattern, int Classes = platform::List_Normal_Only,
                                    Listing_For Role = Listing_For::Other);

private:
    class Copy_Attempt;

    // Get_Folder_Files' second half: of the chosen names, the files that pass
    // the classes (or the evaluation's verdicts), as paths into Listing.
    void Keep_Passing_Files(Folder_Listing& Listing, const std::string& Folder, std::vector<std::string> Candidates,
                            int Classes, Listing_For Role);
    // Tells the events of a folder that could not be listed; left to the
    // walk after a run's evaluation.
    void Report_Listing_Failure(const std::string& Folder, const std::string& Description, Listing_For Role);
    // The listing classes the hidden and system options ask for.
    int Listing_Classes() const;
    // Process_Folder's files (steps 3 to 14): false when the run was
    // cancelled, and the folder's walk ends there.
    bool Walk_Files(const platform::Folder& SFolder, const Folder_Listing& Listing, int& Step, bool& Ignore_All,
                    bool& Abort);
    // True while the walk may take the evaluation's verdicts in Listing
    // (unchanged, target absent); notes a change of the options on the way.
    bool Verdicts_Hold(const Folder_Listing& Listing);
    // The listed file at Path, or nothing when it went away; a file that
    // cannot be looked at goes into the error list, one whose folder may not
    // be searched throws.
    std::optional<platform::File> Look_Up_Listed(const std::string& Path, bool& Ignore_All, bool& Abort);
    // One file of the walk (steps 5 to 13): tested, and copied when chosen;
    // false when the run was cancelled.
    bool Walk_File(std::optional<platform::File>& File, const Folder_Listing& Listing, long Index,
                   const std::string& Collides_With, bool Known_Unchanged, bool Known_Absent, int& Step,
                   bool& Ignore_All, bool& Abort);
    // Copies a file the evaluation found absent in the target into the
    // batch of its target folder, once a copy has made that folder; false
    // where it is to be copied on its own.
    bool Copy_Into_Batch(platform::File& File, const std::string& Path, const Folder_Listing& Listing, long Index);
    // Names the batch's copies and counts them; one that gets no name is
    // tested in full and copied on its own. Before anything else is copied
    // or asked, and when a folder's files are done.
    void Name_Batch(int& Step, bool& Ignore_All, bool& Abort);
    // Forgets the batch, its copies unnamed (a folder's walk failed).
    void Drop_Batch();
    // A copied file's archive bit (step 10) and counters (step 11).
    void Note_Copied(platform::File& File, int& Step);
    // A chosen file's copy and its counters (steps 7 to 13).
    void Copy_Chosen(std::optional<platform::File>& File, const std::string& Path, const std::string& Collides_With,
                     int& Step, bool& Ignore_All, bool& Abort);
    // Tells the events of a folder whose walk failed at Step.
    void Report_Folder_Failure(const std::string& Folder_Path, const std::string& Description, int Step);
    // A folder the walk could not finish goes into the error list as its
    // path with a trailing separator, so that the run never ends as
    // "erfolgreich" with files left out unseen.
    void Add_Unfinished_Folder(const std::string& Folder_Path, Copy_Trouble Why, const std::string& Detail = "",
                               int Step = 0);
    // For a file the walk's look-up did not find: throws when it is there
    // but may not be looked at (its folder cannot be searched), which ends
    // the folder as a failure; returns when it is gone.
    void Confirm_Gone(const std::string& Path) const;
    // True while Folder_Path is a folder itself, not gone or a link.
    bool Still_A_Folder(const std::string& Folder_Path) const;
    // Error_Files and its display, for one more entry in the error list:
    // a file's, or that of a folder not walked to its end.
    void Count_Failed_File(bool Folder = false);
    // Ends the start without a run: the outcome's refusal, told to the events.
    void Refuse(Refusal Why, const std::string& Detail);
    // The missing target made after the user agreed; nothing (and a
    // refusal in the outcome) otherwise, and in a preview.
    std::optional<platform::Folder> Make_Missing_Target(const std::string& target_text);
    // True when Target has room for what the evaluation counted, or the
    // user runs all the same; false, with the refusal, otherwise.
    bool Enough_Space_Or_Agreed(const std::optional<platform::Folder>& Target);
    // A copy that found the target full: the first one of a pass asks
    // whether to go on; every one goes into the error list, with no
    // further box.
    void Fail_On_Full_Target(const std::string& Entry, const std::string& Reason, bool& Ignore_All, bool& Abort);
    // Clears the archive bit of a file the walk has copied; a file whose bit
    // cannot be cleared is counted for one message after the run.
    void Reset_Archive_Bit(platform::File& SFile);
    void Report_Kept_Archive_Bits();
    // The copy's Abort/Retry/Ignore protocol through the events: true when
    // the answer was Retry; otherwise the failure is in the error list and
    // the caller gives up.
    bool Copy_Error(const Copy_Failure& Failure, bool& Ignore_All, bool& Abort);
    // One more entry in the error list.
    void List_Error(const Copy_Failure& Failure);
    bool Later_Than_Filter_Date(const platform::File& SFile) const;
    // The step in nanoseconds in which the file system of File keeps
    // modification times; found once per file system and evaluation.
    std::int64_t Time_Step(const platform::File& File) const;
    // Gives File, at Index of its folder's listing, the attribute bytes the
    // listing read, if it read them.
    static void Use_Listed_Attribute(platform::File& File, const platform::Listed_Attributes& Listed, long Index);
    void Run_Start();
    // The start's checks of the source and of the two folders' relation:
    // the source, or nothing after a refusal.
    std::optional<platform::Folder> Checked_Source(const std::string& source_text, const std::string& target_text);
    // False, with the refusal, when the folders are one or lie in each other.
    bool Folders_Apart(const std::string& source_text, const std::string& target_text);
    // Finds the target, or makes a missing one the user agrees to have made:
    // false after a refusal.
    bool Checked_Target(const platform::Folder& source, const std::string& target_text,
                        std::optional<platform::Folder>& target);
    // The preview's evaluations after the start's checks.
    void Run_Preview(const std::optional<platform::Folder>& target);
    // Notes the target's file system for later starts and measures the time
    // steps of the trees the run writes into.
    void Note_Target_Trees(const std::string& target_text, const std::optional<platform::Folder>& target,
                           const platform::Folder& source, bool source_locked);
    // The run begins: its per-run notes are cleared.
    void Begin_Run();
    // The walk of the first pass, then a synchronisation's way back.
    void Run_Passes(const platform::Folder& source, std::optional<platform::Folder>& target,
                    const std::string& target_text, const std::function<bool()>& lock_source);
    // A synchronisation's second pass: evaluation, space check and walk.
    void Run_Way_Back(const platform::Folder& source, const platform::Folder& target, bool& Ignore_All);
    // The run's outcome, final status text and the kept archive bits' note.
    void Finish_Run();
    // Every value the file test reads, as one text: the walk uses the
    // evaluation's verdicts only while it is the same.
    std::string Test_Options() const;
    // Test_Options() == Text, without building the text: asked once a file.
    bool Test_Options_Are(const std::string& Text) const;
    // Notes when the test options or Include_Subfolders differ from the
    // evaluation's now; true while the test options do not.
    bool Note_Option_Change();
    // After a pass's walk: the files its evaluation counted that the walk
    // did not take, when the options changed in between.
    void Count_Left_Out_By_Option_Change();
    // The two folders of the job in normal form, the trees a run stays in.
    std::vector<std::string> Tree_Roots() const;
    // True for a folder that is the other folder of the job (the target
    // while the source is walked, and back): a bind mount or a link may
    // show it inside the tree being walked, and entering it would copy the
    // copy into itself.
    bool Is_Other_Root(const platform::Folder& Folder) const;
    // For each of the listed files (1 to count()) whose target would be the
    // same file as that of an earlier one (names compared ignoring letter
    // case), the path of that earlier file, or of the earlier folder whose
    // name the file's folder shares but for case; empty for all others. All
    // empty when both folders keep every name apart.
    std::vector<std::string> Case_Collisions(const Folder_Listing& Listing) const;
    // Fails the copy of Source, whose name (or its folder's) differs from
    // Other's only in letter case, with its entry in the error list.
    bool Report_Case_Collision(const platform::File& Source, const std::string& Other, bool& Ignore_All, bool& Abort);
    // True when either folder of the job is on a file system that ignores
    // letter case: names are then compared that way in both passes.
    bool Names_Ignore_Case() const;
    // Path (the to-root, ending in a separator, and a relative path below it)
    // with each part that exists there in another case spelt as it exists.
    std::string Existing_Spelling(const std::string& Root, const std::string& Relative) const;
    // The names in Folder (nothing when it cannot be read), with the first
    // in sorted order of each case-folded name, kept for the pass.
    struct Folder_Names {
        std::unordered_map<std::string, std::string> first_by_folded;
        std::vector<std::string> names;  // sorted
    };
    const Folder_Names& Names_In(const std::string& Folder) const;
    // Before the walk copies into a folder for the first time in a pass:
    // removes the copies in progress a killed run left there.
    void Remove_Stale_Partial_Copies(const std::string& Target);
    // True when the file parked at Temporary is an old version a run of
    // this program parked (it names the file it came from) and that file is
    // there again beside it: the replacement it was parked for has been
    // made, and the old version is stale. Anything else under the name,
    // such as an old version a failed restore left, may be the only copy.
    bool Parked_Version_Is_Stale(const std::string& Temporary);
    // After the walk of a folder: removes a stale parked version from its
    // target folder, or reports one that must stay.
    void Clear_Parked_Version(const std::string& Target_Folder);
    // A parked file that stays: one entry in the error list per run.
    void Report_Kept_Parked_Version(const std::string& Temporary);

    // Normalised roots, kept while the typed texts stay the same.
    struct Mapping_Roots {
        std::string source_text, target_text;
        std::string source_root, target_root;  // normalised, each ending in one separator
        bool valid = false;
    };
    // The Later_then date as a file time, kept while the date stays the same.
    struct Date_Threshold {
        double date = 0;
        platform::File_Time time;
        bool valid = false;
    };

    // The record of the last synchronisation (sync_run.cpp).
    struct Sync_Session;
    // Shared only so that the session's type may stay in its own file.
    std::shared_ptr<Sync_Session> sync_;
    Sync_Verdict sync_verdict_ = Sync_Verdict::None;
    // The run walked the way back too: the record may mark the pair in step.
    bool both_passes_walked_ = false;
    void Open_Sync_Record(const platform::Folder& Source, const platform::Folder& Target);
    // Marks the pair in step when the run went through both passes.
    void Close_Sync_Record(bool Completed);
    // The file test's verdict for SFile against Target (its counterpart).
    Sync_Verdict Sync_Test(const platform::File& SFile, const std::optional<platform::File>& Target);
    // The walk's action for a file the file test chose: a copy, a conflict
    // kept on both sides or a deletion; true when it was carried out.
    bool Carry_Out_Sync(std::optional<platform::File>& SFile, const std::string& Target, bool& Ignore_All, bool& Abort);
    bool Keep_Both_Versions(platform::File& Here, const std::string& There_Path, bool& Ignore_All, bool& Abort);
    // Moves the file at Path, deleted on the other side, to the trash.
    bool Trash_Deleted_There(const std::string& Path);
    // Notes that Here and its counterpart There now hold the same.
    void Record_In_Step(const platform::File& Here, const platform::File& There);
    void Drop_Sync_Record(const std::string& Why);

    // Marks the run as under way or over, in the run state and on the display.
    void Set_Run_Under_Way(bool under_way);

    // The options as they stand now: asked at each use.
    std::shared_ptr<const Job_Options> options_now() const { return options_->Current(); }

    const Options_Port* options_;
    // A preview is under way (Preview_Click), and who hears its files.
    bool preview_ = false;
    std::function<void(const std::string&)> counted_file_;
    Job_Display* display_;
    support::Support_Routines* support_;
    Run_State* state_;
    Message_Box_Events box_events_;
    Job_Events* events_;
    // This pass has met a full target, and the user chose to go on.
    bool target_full_ = false;
    // The largest target the last evaluation found to be replaced: the old
    // version stays until its new one is complete.
    double largest_replaced_ = 0;
    mutable Mapping_Roots roots_;
    mutable Date_Threshold threshold_;
    // Time_Step's answers by device, forgotten when an evaluation starts
    // (a device number may belong to another stick by then).
    mutable std::unordered_map<dev_t, std::int64_t> time_steps_;
    // Names_Ignore_Case's answer and Names_In's listings, forgotten when an
    // evaluation starts.
    mutable std::optional<bool> names_ignore_case_;
    mutable std::unordered_map<std::string, Folder_Names> folder_names_;
    // The target folder last cleared of stale copies in this pass.
    std::string cleared_folder_;
    // Parked files this run has left in place and reported.
    std::set<std::string> kept_parked_;
    // The target folder a copy of this run last found or made; the next
    // file into it needs no look whether it is there (see Copy_File).
    std::string made_folder_;
    // What the file test found at the target of the file it tested last:
    // the copy that follows at once takes it instead of looking again.
    struct Tested_Target {
        std::string path;
        std::optional<platform::File> file;
        bool valid = false;
        // Absent by the evaluation's verdict, not looked at: the copy must
        // not replace a file there, and fails instead (target_appeared_).
        bool trusted_absent = false;
    };
    // Copies of the current target folder waiting for their names, with
    // what the walk needs to test one in full that gets none.
    struct Batched_File {
        platform::File file;
        std::string path;
        long index = 0;
    };
    std::unique_ptr<platform::Copy_Batch> batch_;
    std::string batch_folder_;  // the target folder batch_ is for; batch_ null: none there
    std::vector<Batched_File> batched_;
    const Folder_Listing* batched_listing_ = nullptr;
    std::string batched_source_folder_;
    // Copies named together at most: each holds an open file until then.
    static constexpr std::size_t Batch_Files = 64;
    // The copy of a file on the evaluation's verdict failed: the walk
    // tests it in full and copies it again.
    bool verdict_failed_ = false;
    Tested_Target tested_target_;
    // Device and inode of the folder the pass writes into, found by the
    // evaluation that starts each pass.
    std::optional<std::pair<dev_t, ino_t>> other_root_;
    // The last evaluation's verdicts, for the walk of its pass.
    Evaluation_Verdicts verdicts_;
    // What the file and folder tests read when the evaluation of this pass
    // ended, and whether the walk has seen them differ since: files it
    // counted may then have been left out.
    std::string evaluation_options_;
    bool evaluation_subfolders_ = false;
    bool selection_changed_ = false;
    // Folders this pass's walk left unfinished: the files they kept from
    // it are theirs, not the options'.
    long unfinished_in_pass_ = 0;
    // Copied files that keep their archive bit because it could not be
    // cleared, and why the first of them could not.
    long archive_kept_ = 0;
    std::string archive_kept_reason_;
};

}  // namespace zentrel::engine
