#include "support/support_routines.h"

#include "platform/copy_progress.h"

#include <atomic>
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

// The host and the display belong to this thread alone: work must not touch
// them, and only this thread turns the event loop while work runs.
void Support_Routines::Run_Keeping_Window_Alive(const std::function<void()>& work, std::uint64_t bytes,
                                                const std::function<void(std::uint64_t)>& progress) {
    if (bytes < Inline_Limit) {
        work();
        return;
    }
    std::atomic<std::uint64_t> copied{0};
    std::future<void> done;
    try {
        done = std::async(std::launch::async, [&] {
            const platform::Copy_Progress_Scope counting(copied);
            work();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the work still has to be done, only the
        // window stays still meanwhile.
        work();
        return;
    }
    // Should Process_Events throw, the future's destructor waits for work
    // to finish before the exception leaves, so work never outlives its data.
    while (done.wait_for(Event_Interval) != std::future_status::ready) {
        if (progress) progress(copied.load(std::memory_order_relaxed));
        host_->Process_Events();
    }
    done.get();
}

}  // namespace zentrel::support
