#include "common/unprivileged.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace zentrel::testing {

namespace {

constexpr int Skip_Status = 77;

void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            // Stopping early would leave the child blocked on a full pipe.
            if (errno == EINTR) continue;
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool drop_privileges() {
    if (::geteuid() != 0) return true;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(Unprivileged_Gid, Unprivileged_Gid, Unprivileged_Gid) != 0 ||
        ::setresuid(Unprivileged_Uid, Unprivileged_Uid, Unprivileged_Uid) != 0 || ::geteuid() != Unprivileged_Uid)
        return false;
    // Root's capabilities are gone only if there is no way back (a process
    // that keeps them, SECBIT_NO_SETUID_FIXUP, would still read every file).
    return ::setresuid(0, 0, 0) != 0;
}

}  // namespace

Unprivileged_Outcome Run_In_Child(const std::function<std::string()>& setup, const std::function<std::string()>& body) {
    int pipe_fds[2];
    // Close-on-exec: a program the body starts must not hold the pipe open,
    // or the parent would wait for its end rather than the child's.
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(pipe_fds[0]);
        if (const std::string why_not = setup(); !why_not.empty()) {
            write_all(pipe_fds[1], why_not);
            ::_exit(Skip_Status);
        }
        std::string message;
        try {
            message = body();
        } catch (const std::exception& e) {
            message = std::string("exception: ") + e.what();
        } catch (...) {
            message = "unknown exception";
        }
        write_all(pipe_fds[1], message);
        ::close(pipe_fds[1]);
        ::_exit(message.empty() ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    Unprivileged_Outcome outcome;
    outcome.message = read_all(pipe_fds[0]);
    ::close(pipe_fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    if (WIFEXITED(status) && WEXITSTATUS(status) == Skip_Status) {
        outcome.skipped = true;
    } else if (!WIFEXITED(status)) {
        outcome.message += " (the child ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    } else if (WEXITSTATUS(status) != 0 && outcome.message.empty()) {
        outcome.message = "the child failed without a message";
    }
    return outcome;
}

std::string Become_Unprivileged() {
    return drop_privileges()
               ? std::string()
               : std::string("cannot switch for good to uid 65534 (setresuid refused, or root's rights kept)");
}

Unprivileged_Outcome Run_Unprivileged(const std::function<std::string()>& body) {
    return Run_In_Child(Become_Unprivileged, body);
}

void Hand_Over(const std::string& path) {
    if (::geteuid() != 0) return;
    std::error_code ignored;
    ::lchown(path.c_str(), Unprivileged_Uid, Unprivileged_Gid);
    for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        ::lchown(it->path().c_str(), Unprivileged_Uid, Unprivileged_Gid);
    }
}

}  // namespace zentrel::testing
