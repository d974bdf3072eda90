// The copy job: start command, evaluation, walk and copy. It reads the
// user's choices through the job options, shows its progress through the
// job display and asks the user through the support routines' UI host.
#pragma once

#include "engine/evaluation_verdicts.h"
#include "engine/job_display.h"
#include "engine/job_events.h"
#include "engine/job_options.h"
#include "engine/run_state.h"
#include "platform/file_objects.h"
#include "platform/folder_listing.h"
#include "platform/mounts.h"
#include "support/support_routines.h"

#include <cstdint>
#include <functional>
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

class Copy_Job {
public:
    Copy_Job(const Job_Options& options, Job_Display& display, support::Support_Routines& support, Run_State& state);
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

    // Told the path of each file the evaluation counts as one a run copies;
    // a preview of the run lists them. Nobody listens by default.
    std::function<void(const std::string&)> Counted_File;
    // A preview: Start_Click makes the start's checks and asks its question
    // as a run would, then only evaluates, in both directions for a
    // synchronisation. Nothing is written; a missing target the user agrees
    // to have made is not made.
    bool Preview = false;

    // The click handler of Start: checks, creation question, evaluation,
    // one or two passes, final status text.
    void Start_Click();
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

    // The files of one folder through the include and exclude filters, at
    // positions 1 to count of Files (entry 0 empty); returns the count.
    // Classes (platform::Listing_Classes) adds hidden or system files.
    // With Read_Attributes, puts there the user.DOSATTRIB bytes the listing
    // read, at the positions of their files in Files.
    long Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                          const std::string& Exclude_Pattern, std::vector<std::string>& Files,
                          int Classes = platform::List_Normal_Only,
                          platform::Listed_Attributes* Read_Attributes = nullptr);

private:
    // The listing classes the hidden and system options ask for.
    int Listing_Classes() const;
    // The walk's "Fehler bei der Verarbeitung von Verzeichnis:" box.
    void Report_Folder_Failure(const std::string& Folder_Path, const std::string& Description, int Step);
    // A folder the walk could not finish goes into the error list as its
    // path with a trailing separator, so that the run never ends as
    // "erfolgreich" with files left out unseen.
    void Add_Unfinished_Folder(const std::string& Folder_Path, const std::string& Reason);
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
    // The copy's Abort/Retry/Ignore protocol: true when the user chose Retry;
    // otherwise the entry is in Error_List and the caller gives up.
    bool Copy_Error(const std::string& Prompt, const std::string& Entry, bool Retry_Allowed, bool& Ignore_All,
                    bool& Abort);
    bool Later_Than_Filter_Date(const platform::File& SFile) const;
    // The step in nanoseconds in which the file system of File keeps
    // modification times; found once per file system and evaluation.
    std::int64_t Time_Step(const platform::File& File) const;
    // Gives File, at Index of its folder's listing, the attribute bytes the
    // listing read, if it read them.
    static void Use_Listed_Attribute(platform::File& File, const platform::Listed_Attributes& Listed, long Index);
    void Run_Start();
    // Every value the file test reads, as one text: the walk uses the
    // evaluation's verdicts only while it is the same.
    std::string Test_Options() const;
    // Test_Options now, noting when they or Include_Subfolders differ from
    // the evaluation's.
    std::string Current_Test_Options();
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
    // For each of the listed Files (1 to Count) whose target would be the
    // same file as that of an earlier one (names compared ignoring letter
    // case), the path of that earlier file, or of the earlier folder whose
    // name the file's folder shares but for case; empty for all others. All
    // empty when both folders keep every name apart.
    std::vector<std::string> Case_Collisions(const std::vector<std::string>& Files, long Count) const;
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

    // Marks the run as under way or over, in the run state and on the display.
    void Set_Run_Under_Way(bool under_way);

    const Job_Options* options_;
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
    // The copy of a file on the evaluation's verdict failed: the walk
    // tests it in full and copies it again.
    bool verdict_failed_ = false;
    Tested_Target tested_target_;
    // Device and inode of the folder the pass writes into, found by the
    // evaluation that starts each pass.
    std::optional<std::pair<dev_t, ino_t>> other_root_;
    // The last evaluation's verdicts, for the walk of its pass.
    Evaluation_Verdicts verdicts_;
    // Set by Get_Folder_Files when its listing failed.
    bool listing_failed_ = false;
    // Who asks Get_Folder_Files next: the evaluation records its verdicts
    // by the listing, the walk takes them over.
    enum class Listing_For { Other, Evaluation, Walk };
    Listing_For listing_for_ = Listing_For::Other;
    // For the walk's listing, per file (from 1): found unchanged by the
    // evaluation. Empty when the walk must test every file.
    std::vector<bool> listing_unchanged_;
    // The same, found to be copied into an absent target.
    std::vector<bool> listing_absent_;
    // The options those verdicts were made under, and when: each file
    // takes its verdict only while both still hold at its turn.
    std::string listing_options_;
    Evaluation_Verdicts::Clock::time_point listing_judged_;
    // What the file and folder tests read when the evaluation of this pass
    // ended, and whether the walk has seen them differ since: files it
    // counted may then have been left out.
    std::string evaluation_options_;
    bool evaluation_subfolders_ = false;
    bool selection_changed_ = false;
    // Folders this pass's walk left unfinished: the files they kept from
    // it are theirs, not the options'.
    long unfinished_in_pass_ = 0;
    // The subfolder names the same reading of the folder gave; none when
    // the listing failed.
    std::optional<std::vector<std::string>> listing_folders_;
    // Copied files that keep their archive bit because it could not be
    // cleared, and why the first of them could not.
    long archive_kept_ = 0;
    std::string archive_kept_reason_;
};

void Swap_Values(std::string& first, std::string& second);

}  // namespace zentrel::engine
