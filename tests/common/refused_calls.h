// Makes system calls fail in a child process, for the ways around a call
// the kernel refuses (openat2 missing from an older kernel, linkat on a
// descriptor refused without a capability) that this machine's kernel
// never takes. A seccomp filter answers the call with the error instead of
// running it:
//
//     auto outcome = Run_In_Child(
//         [] { return refuse_calls({{SYS_openat2, ENOSYS}}); },
//         [&]() -> std::string { ...; return ""; });
//     if (outcome.skipped) GTEST_SKIP() << outcome.message;
//     EXPECT_EQ(outcome.message, "");
#pragma once

#include <string>
#include <vector>

namespace zentrel::testing {

struct Refused_Call {
    long number;  // SYS_...
    int error_number;
    // Only calls whose argument (0-based) has one of these flags set;
    // flags 0 refuses every call.
    unsigned argument = 0;
    unsigned flags = 0;
};

// Installs the filter in the calling process for good; why it could not, or
// nothing.
std::string refuse_calls(const std::vector<Refused_Call>& calls);

}  // namespace zentrel::testing
