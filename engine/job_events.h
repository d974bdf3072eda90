// What the start command asks its user and tells of a refusal, as values.
// The window answers through message boxes (Message_Box_Events, today's
// texts and buttons); the runner answers from its command line.
#pragma once

#include "engine/run_state.h"

#include <string>

namespace zentrel::support {
class Support_Routines;
}

namespace zentrel::engine {

// A target found full in the middle of a run.
enum class Full_Target_Answer { Stop, Go_On };

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
};

// The German text that tells of a refusal, as the window shows it; empty
// for the refusals that follow the user's own No.
std::string Refusal_Text(Refusal Why, const std::string& Detail);

// The window's answers: message boxes with the program's texts.
class Message_Box_Events : public Job_Events {
public:
    explicit Message_Box_Events(support::Support_Routines& support) : support_(&support) {}

    bool Create_Missing_Target(const std::string& Target) override;
    bool Run_Without_Enough_Space(const std::string& Target, double Needed, double Free) override;
    Full_Target_Answer Target_Full(const std::string& Target) override;
    void Refused(Refusal Why, const std::string& Detail) override;

private:
    support::Support_Routines* support_;
};

}  // namespace zentrel::engine
