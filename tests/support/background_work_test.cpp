#include "common/scripted_ui_host.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace zentrel::support {
namespace {

constexpr std::uint64_t Large = 64ull * 1024 * 1024;

class Background_Work : public ::testing::Test {
protected:
    testing::Scripted_Ui_Host host;
    Support_Routines routines{host, platform::real_file_system(), platform::Regional_Settings::german()};
};

TEST_F(Background_Work, SmallWorkRunsInlineWithoutEventTurns) {
    std::thread::id ran_on;
    routines.Run_Keeping_Window_Alive([&] { ran_on = std::this_thread::get_id(); }, 1000);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
    EXPECT_EQ(host.events_processed, 0);
}

// The work item ends only after it has seen the window handle events three
// times while it ran (at most ~200 ms in practice; the bound only keeps a
// broken implementation from hanging the suite). The events must be handled
// on the caller's thread, never on the worker.
TEST_F(Background_Work, LargeWorkRunsBesideEventTurnsOnTheCallersThread) {
    const auto caller = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable turned;
    int turns_seen = 0;
    bool events_on_caller_thread = true;
    host.on_events = [&] {
        std::lock_guard lock(mutex);
        events_on_caller_thread = events_on_caller_thread && std::this_thread::get_id() == caller;
        ++turns_seen;
        turned.notify_all();
    };

    std::thread::id ran_on;
    bool saw_turns = false;
    routines.Run_Keeping_Window_Alive(
        [&] {
            ran_on = std::this_thread::get_id();
            std::unique_lock lock(mutex);
            saw_turns = turned.wait_for(lock, std::chrono::seconds(60), [&] { return turns_seen >= 3; });
        },
        Large);

    EXPECT_TRUE(saw_turns);
    EXPECT_NE(ran_on, caller);
    EXPECT_TRUE(events_on_caller_thread);
    EXPECT_GE(host.events_processed, 3);
}

TEST_F(Background_Work, AFailureInsideTheWorkReachesTheCaller) {
    for (std::uint64_t bytes : {std::uint64_t{10}, Large}) {
        try {
            routines.Run_Keeping_Window_Alive([] { throw platform::File_System_Error(ENOSPC, "/t/big.bin"); }, bytes);
            ADD_FAILURE() << "no failure for " << bytes << " bytes";
        } catch (const platform::File_System_Error& failure) {
            EXPECT_EQ(failure.error_number(), ENOSPC) << bytes;
            EXPECT_EQ(failure.path(), "/t/big.bin");
        }
    }
    EXPECT_THROW(routines.Run_Keeping_Window_Alive([] { throw std::runtime_error("x"); }, Large), std::runtime_error);
}

TEST_F(Background_Work, WorkIsDoneBeforeTheCallReturns) {
    std::atomic<int> done{0};
    routines.Run_Keeping_Window_Alive(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            done = 1;
        },
        Large);
    EXPECT_EQ(done.load(), 1);
}

}  // namespace
}  // namespace zentrel::support
