// A UI host for tests: records every message box and answers from a queue.
// An unexpected box (empty queue) fails the test and is answered with the
// first button of its set, so a test never hangs.
#pragma once

#include "support/ui_host.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zentrel::testing {

struct Shown_Box {
    std::string prompt;
    int buttons = 0;
    std::string title;
};

class Scripted_Ui_Host : public support::Ui_Host {
public:
    void Set_Pointer(support::Pointer_Shape shape) override;
    void Process_Events() override;
    bool Has_No_Window() const override { return no_window; }
    void Activate_Application() override { ++activations; }
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) override;

    // Queues the answer to the next box.
    Scripted_Ui_Host& answer(int code) {
        answers.push_back(code);
        return *this;
    }

    std::deque<int> answers;
    std::vector<Shown_Box> boxes;
    std::vector<support::Pointer_Shape> pointer_changes;
    support::Pointer_Shape pointer = support::Pointer_Shape::Default;
    long events_processed = 0;
    // Plays a host without a window, as the command line's.
    bool no_window = false;
    int activations = 0;
    // Runs inside every Process_Events: a test presses cancel or changes
    // the tree from here, as a user would during a run.
    std::function<void()> on_events;
};

}  // namespace zentrel::testing
