// What the job asks its user and tells of its failures, as values. The
// window answers through message boxes (Message_Box_Events, the program's
// texts and buttons); the runner answers from its command line. No caller
// needs to read a text to know what happened.
#pragma once

#include "engine/copy_failure.h"
#include "engine/run_state.h"

#include <string>

namespace zentrel::support {
class Support_Routines;
}

namespace zentrel::engine {

// A target found full in the middle of a run.
enum class Full_Target_Answer { Stop, Go_On };

// Retry: try the failed step again. Skip: give the file up. Skip_All: give
// it up, and every later failing file of the run without asking. Abort:
// give it up and stop the run.
enum class Failure_Answer { Retry, Skip, Skip_All, Abort };

// Why the walk or the evaluation could not go through a folder.
enum class Folder_Trouble {
    Walk_Failed,     // a step of the walk failed (detail, step)
    Listing_Failed,  // its files could not be listed (detail)
    Not_There,       // the folder to evaluate is not there
};

struct Folder_Failure {
    Folder_Trouble trouble = Folder_Trouble::Walk_Failed;
    std::string path = {};
    std::string detail = {};  // empty when the failure has no description
    int step = 0;
};

class Job_Events {
public:
    virtual ~Job_Events() = default;

    // The target folder Target is missing: true to have it made.
    virtual bool Create_Missing_Target(const std::string& Target) = 0;
    // The files to copy need Needed bytes, the target has Free: true to run
    // all the same.
    virtual bool Run_Without_Enough_Space(const std::string& Target, double Needed, double Free) = 0;
    // A copy found no space left in the target. Go_On: every later file
    // that meets a full target fails without a question.
    virtual Full_Target_Answer Target_Full(const std::string& Target) = 0;
    // The start ends without a run. Detail: the folder or the failure's
    // description where the refusal has one.
    virtual void Refused(Refusal Why, const std::string& Detail) = 0;
    // A file could not be copied: what to do about it. Not asked after
    // Skip_All; the entry goes into the error list whatever the answer but
    // Retry.
    virtual Failure_Answer Copy_Failed(const Copy_Failure& Failure) = 0;
    // A folder the walk or the evaluation could not go through.
    virtual void Folder_Failed(const Folder_Failure& Failure) = 0;
    // After the run: Count copied files kept their archive bit; Reason is
    // why the first one did.
    virtual void Archive_Bits_Kept(long Count, const std::string& Reason) = 0;
    // The run ended on a failure nobody foresaw, after it had begun.
    virtual void Run_Failed(const std::string& Detail) = 0;
    // After a synchronisation: its record of the last one could not be
    // used (Why), and it followed the rules that need none.
    virtual void Sync_Record_Unused(const std::string& Why) = 0;
};

// The German texts of the events, as the window shows them.
// A refusal's; empty for the refusals that follow the user's own No.
std::string Refusal_Text(Refusal Why, const std::string& Detail);
// A failed copy's question, and the reason of its error-list entry.
std::string Copy_Failure_Text(const Copy_Failure& Failure);
// The error list's line for the failure: its path, or what stands in for a
// missing one.
std::string Error_Entry_Text(const Copy_Failure& Failure);
std::string Folder_Failure_Text(const Folder_Failure& Failure);
std::string Archive_Bits_Text(long Count, const std::string& Reason);
std::string Sync_Record_Unused_Text(const std::string& Why);

// The window's answers: message boxes with the program's texts.
class Message_Box_Events : public Job_Events {
public:
    explicit Message_Box_Events(support::Support_Routines& support) : support_(&support) {}

    bool Create_Missing_Target(const std::string& Target) override;
    bool Run_Without_Enough_Space(const std::string& Target, double Needed, double Free) override;
    Full_Target_Answer Target_Full(const std::string& Target) override;
    void Refused(Refusal Why, const std::string& Detail) override;
    // Abort, Retry or Ignore; after Ignore, a Yes-No question tells Skip
    // from Skip_All.
    Failure_Answer Copy_Failed(const Copy_Failure& Failure) override;
    void Folder_Failed(const Folder_Failure& Failure) override;
    void Archive_Bits_Kept(long Count, const std::string& Reason) override;
    void Sync_Record_Unused(const std::string& Why) override;
    void Run_Failed(const std::string& Detail) override;

private:
    support::Support_Routines* support_;
};

}  // namespace zentrel::engine
