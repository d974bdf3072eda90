#include "support/support_routines.h"

#include "platform/copy_progress.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <system_error>

namespace zentrel::support {

namespace {

// Below this a copy ends sooner than a thread would start and the window
// would notice.
constexpr std::uint64_t Inline_Limit = 4ull * 1024 * 1024;
constexpr auto Event_Interval = std::chrono::milliseconds(10);

}  // namespace

// Without a window, work runs here and the events are turned between its
// pieces: no thread to start, and nobody waiting for it to end.
void Support_Routines::Run_Between_Event_Turns(const std::function<void()>& work,
                                               const std::function<void(std::uint64_t)>& progress) {
    // A failure of the event turn must not become the failure of the copy
    // under way: it waits until work is done, as on the other thread.
    std::exception_ptr turn_failed;
    const std::function<void(std::uint64_t)> after_piece = [&](std::uint64_t copied) {
        if (turn_failed) return;
        try {
            if (progress) progress(copied);
            host_->Process_Events();
        } catch (...) {
            turn_failed = std::current_exception();
        }
    };
    std::atomic<std::uint64_t> copied{0};
    {
        const platform::Copy_Progress_Scope counting(copied, &after_piece);
        work();
    }
    if (turn_failed) std::rethrow_exception(turn_failed);
}

// The host and the display belong to this thread alone: work must not touch
// them, and only this thread turns the event loop while work runs.
void Support_Routines::Run_Keeping_Window_Alive(const std::function<void()>& work, std::uint64_t bytes,
                                                const std::function<void(std::uint64_t)>& progress) {
    if (bytes < Inline_Limit) {
        work();
        return;
    }
    if (host_->Has_No_Window()) {
        Run_Between_Event_Turns(work, progress);
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
    // The wait ends as soon as work does, not at the end of the interval.
    // Should Process_Events throw, the future's destructor waits for work
    // to finish before the exception leaves, so work never outlives its data.
    while (done.wait_for(Event_Interval) != std::future_status::ready) {
        if (progress) progress(copied.load(std::memory_order_relaxed));
        host_->Process_Events();
    }
    done.get();
}

}  // namespace zentrel::support
