#include "common/refused_calls.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zentrel::testing {

std::string refuse_calls(const std::vector<Refused_Call>& calls) {
#if defined(__x86_64__)
    constexpr unsigned Architecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned Architecture = AUDIT_ARCH_AARCH64;
#else
    return "no seccomp filter for this architecture";
#endif
    auto load = [](std::size_t offset) {
        return sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<unsigned>(offset));
    };
    auto refuse = [](int error) {
        return sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & 0xFFFF));
    };
    std::vector<sock_filter> program;
    program.push_back(load(offsetof(seccomp_data, arch)));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, Architecture, 1, 0));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    for (const Refused_Call& call : calls) {
        program.push_back(load(offsetof(seccomp_data, nr)));
        if (call.flags == 0) {
            program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call.number), 0, 1));
            program.push_back(refuse(call.error_number));
        } else {
            // The argument's lower half: flags fit in it.
            program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call.number), 0, 3));
            program.push_back(load(offsetof(seccomp_data, args) + 8 * call.argument));
            program.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, call.flags, 0, 1));
            program.push_back(refuse(call.error_number));
        }
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) != 0)
        return std::string("no seccomp filter: ") + std::strerror(errno);
    return {};
}

}  // namespace zentrel::testing
