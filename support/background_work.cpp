#include "support/support_routines.h"

#include <chrono>
#include <future>
#include <system_error>

namespace zentrel::support {

namespace {

// Below this a copy ends sooner than a thread would start and the window
// would notice.
constexpr std::uint64_t Inline_Limit = 4ull * 1024 * 1024;
constexpr auto Event_Interval = std::chrono::milliseconds(10);

}  // namespace

// The host and the form belong to this thread alone: work must not touch
// them, and only this thread turns the event loop while work runs.
void Support_Routines::Run_Keeping_Window_Alive(const std::function<void()>& work, std::uint64_t bytes) {
    if (bytes < Inline_Limit) {
        work();
        return;
    }
    std::future<void> done;
    try {
        done = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        // No thread to be had: the work still has to be done, only the
        // window stays still meanwhile.
        work();
        return;
    }
    // Should Process_Events throw, the future's destructor waits for work
    // to finish before the exception leaves, so work never outlives its data.
    while (done.wait_for(Event_Interval) != std::future_status::ready) host_->Process_Events();
    done.get();
}

}  // namespace zentrel::support
