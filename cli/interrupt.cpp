#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace zentrel::cli {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void on_signal(int) { interrupted.store(true); }

}  // namespace

void Catch_Interrupts() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // The copy's reads and writes go on where they were; the default comes
    // back for a second signal.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // The terminal it was started from closing is a request to stop like any other.
    sigaction(SIGHUP, &action, nullptr);
    // A reader of the list or the summary that has gone away shows as a
    // failed write, which the run reports, instead of ending it unannounced.
    signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace zentrel::cli
