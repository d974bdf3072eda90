// Runs part of a test as an ordinary user. The suites run as root, for whom
// permission bits mean nothing: a case about an unreadable file or a
// read-only source proves something only under an unprivileged uid.
//
//     Temp_Folder tmp;
//     Hand_Over(tmp.path());                        // the user may work there
//     ::chmod((tmp / "secret").c_str(), 0);
//     auto outcome = Run_Unprivileged([&]() -> std::string {
//         if (readable(tmp / "secret")) return "secret was readable";
//         return "";                                // empty: passed
//     });
//     if (outcome.skipped) GTEST_SKIP() << outcome.message;
//     EXPECT_EQ(outcome.message, "");
//
// The body runs in a forked child whose uid and gids are switched for good
// (so nothing leaks back into the suite); it reports by its returned text,
// since GoogleTest's expectations in a child never reach the parent.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace zentrel::testing {

// The uid and gid the body runs as when the suite runs as root (nobody).
inline constexpr uid_t Unprivileged_Uid = 65534;
inline constexpr gid_t Unprivileged_Gid = 65534;

struct Unprivileged_Outcome {
    bool skipped = false;  // the switch could not be made; message says why
    std::string message;   // the body's text: empty when it passed
};

// When not root, the body runs in a child as the current user.
Unprivileged_Outcome Run_Unprivileged(const std::function<std::string()>& body);

// Switches the calling process to the unprivileged user for good (a setup
// for Run_In_Child); why it could not, or nothing.
std::string Become_Unprivileged();

// The body in a forked child after setup, which returns why it could not
// prepare the child (the outcome is then skipped) or nothing.
Unprivileged_Outcome Run_In_Child(const std::function<std::string()>& setup, const std::function<std::string()>& body);

// Gives the folder and everything below it to the unprivileged user.
void Hand_Over(const std::string& path);

}  // namespace zentrel::testing
