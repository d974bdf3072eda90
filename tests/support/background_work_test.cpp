#include "common/scripted_ui_host.h"
#include "platform/copy_progress.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

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
    for (bool no_window : {false, true}) {
        host.no_window = no_window;
        for (std::uint64_t bytes : {std::uint64_t{10}, Large}) {
            try {
                routines.Run_Keeping_Window_Alive(
                    [] {
                        platform::Count_Copied_Bytes(1 << 20);
                        throw platform::File_System_Error(ENOSPC, "/t/big.bin");
                    },
                    bytes, [](std::uint64_t) {});
                ADD_FAILURE() << "no failure for " << bytes << " bytes";
            } catch (const platform::File_System_Error& failure) {
                EXPECT_EQ(failure.error_number(), ENOSPC) << bytes;
                EXPECT_EQ(failure.path(), "/t/big.bin");
            }
        }
        EXPECT_THROW(routines.Run_Keeping_Window_Alive([] { throw std::runtime_error("x"); }, Large),
                     std::runtime_error);
    }
}

// Without a window there is nothing to keep painted: the work runs on the
// caller's thread, and the bar and the event turns follow each piece it
// copies. A turn that fails does not cut the copy short; its failure
// leaves once the work is done.
TEST_F(Background_Work, WithoutAWindowLargeWorkRunsHereWithTurnsAfterEachPiece) {
    host.no_window = true;
    const auto caller = std::this_thread::get_id();
    std::thread::id ran_on;
    std::vector<std::uint64_t> shown;
    std::vector<long> turns_at_piece;
    routines.Run_Keeping_Window_Alive(
        [&] {
            ran_on = std::this_thread::get_id();
            for (int piece = 0; piece < 3; ++piece) {
                turns_at_piece.push_back(host.events_processed);
                platform::Count_Copied_Bytes(Large / 4);
            }
            turns_at_piece.push_back(host.events_processed);
        },
        Large, [&](std::uint64_t copied) { shown.push_back(copied); });
    EXPECT_EQ(ran_on, caller);
    EXPECT_EQ(shown, (std::vector<std::uint64_t>{Large / 4, Large / 2, 3 * (Large / 4)}));
    EXPECT_EQ(turns_at_piece, (std::vector<long>{0, 1, 2, 3}));

    host.on_events = [] { throw std::runtime_error("turn"); };
    bool finished = false;
    EXPECT_THROW(routines.Run_Keeping_Window_Alive(
                     [&] {
                         platform::Count_Copied_Bytes(1);
                         platform::Count_Copied_Bytes(1);
                         finished = true;
                     },
                     Large),
                 std::runtime_error);
    EXPECT_TRUE(finished);
    EXPECT_EQ(host.events_processed, 4);
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
