#include "platform/time_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/file_objects.h"
#include "platform/file_system_kind.h"
#include "platform/user_folders.h"

namespace zentrel::platform {

namespace {

constexpr std::int64_t Second = 1'000'000'000;
// An odd second and nanoseconds in every digit: FAT's two seconds, whole
// seconds, exFAT's 10 ms and NTFS's 100 ns each keep another part of it.
constexpr File_Time Probe_Time{1'600'000'001, 987'654'321};

// One mount's identity across processes: its device number is given anew
// at every mount, its type, source and place are not.
std::string key_of(const Mount& mount) {
    return mount.file_system_type + '\t' + mount.source + '\t' + mount.root + '\t' + mount.mount_point;
}

std::string read_text(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    for (ssize_t length; (length = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20);)
        text.append(buffer, static_cast<std::size_t>(length));
    ::close(fd);
    return text;
}

// Lines "step<TAB>key".
std::map<std::string, std::int64_t> parse(const std::string& text) {
    std::map<std::string, std::int64_t> steps;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        char* end = nullptr;
        const long long step = std::strtoll(line.c_str(), &end, 10);
        if (end != line.c_str() + tab || step < 1 || step > 2 * Second) continue;
        steps[line.substr(tab + 1)] = step;
    }
    return steps;
}

// Written whole under another name and renamed, so that a reader never
// sees half of it. A cache that cannot be written costs only the next
// process a measurement.
void write_steps(const std::map<std::string, std::int64_t>& steps) {
    const std::string path = measured_time_steps_file();
    const std::string folder = path.substr(0, path.find_last_of('/'));
    ::mkdir(folder.substr(0, folder.find_last_of('/')).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    std::string text;
    for (const auto& [key, step] : steps) text += std::to_string(step) + '\t' + key + '\n';
    const std::string temporary = path + "." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) ::unlink(temporary.c_str());
}

class Measured_Steps {
public:
    std::optional<std::int64_t> find(const std::string& key) {
        std::lock_guard lock(mutex_);
        // What this process measured itself holds whether or not the cache
        // could be written.
        if (auto own = own_.find(key); own != own_.end()) return own->second;
        // Read again when another process has measured since.
        const std::string path = measured_time_steps_file();
        struct stat st {};
        const bool there = ::stat(path.c_str(), &st) == 0;
        const File_Version version{path, there ? st.st_ino : 0, there ? st.st_size : -1, there ? st.st_mtim.tv_sec : 0,
                                   there ? st.st_mtim.tv_nsec : 0};
        if (version != read_) {
            stored_ = parse(read_text(path));
            read_ = version;
        }
        auto found = stored_.find(key);
        if (found == stored_.end()) return std::nullopt;
        return found->second;
    }

    void remember(const std::string& key, std::int64_t step) {
        if (key.find('\n') != std::string::npos) return;
        std::lock_guard lock(mutex_);
        auto [own, added] = own_.emplace(key, step);
        const bool changed = added || own->second != step;
        own->second = step;
        // Another process may have measured other file systems meanwhile.
        std::map<std::string, std::int64_t> stored = parse(read_text(measured_time_steps_file()));
        if (auto found = stored.find(key); found == stored.end() || found->second != step) {
            stored[key] = step;
            write_steps(stored);
        }
        if (changed) ++changes_;
    }

    std::uint64_t changes() const { return changes_.load(); }

private:
    // The file as it was when stored_ was read from it.
    struct File_Version {
        std::string path;
        ino_t inode = 0;
        off_t size = -1;
        time_t seconds = 0;
        long nanoseconds = 0;
        bool operator==(const File_Version&) const = default;
    };
    std::mutex mutex_;
    File_Version read_;
    std::map<std::string, std::int64_t> stored_;
    std::map<std::string, std::int64_t> own_;
    std::atomic<std::uint64_t> changes_{0};
};

Measured_Steps& measured_steps() {
    static Measured_Steps steps;
    return steps;
}

}  // namespace

std::string measured_time_steps_file() { return xdg_folder("XDG_CACHE_HOME", ".cache") + "/zentrel/time-steps"; }

std::optional<std::int64_t> time_step_shown(File_Time set, File_Time kept) {
    static constexpr std::int64_t steps[] = {1,         10,         100,         1'000,      10'000,    100'000,
                                             1'000'000, 10'000'000, 100'000'000, 1 * Second, 2 * Second};
    for (std::int64_t step : steps)
        if (truncated_time(set, step) == kept) return step;
    return std::nullopt;
}

std::optional<std::int64_t> measured_time_step(const Mount& mount) { return measured_steps().find(key_of(mount)); }

std::uint64_t time_step_measurements() { return measured_steps().changes(); }

void measure_time_step(const std::string& folder) {
    try {
        const Mount mount = mount_of(folder);
        const std::string canonical = real_file_system().canonical(folder);
        if (file_system_kind_of_mount(mount.file_system_type, mount.source, canonical, mount.device).time_step_known)
            return;
        const int at = ::open(canonical.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (at < 0) return;
        const std::string path = partial_copy_path(canonical);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        const int fd = ::openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            ::close(at);
            return;
        }
        ::close(fd);
        // Set once the file is closed: some drivers set a time of their own
        // at the close.
        const timespec times[2] = {{Probe_Time.seconds, Probe_Time.nanoseconds},
                                   {Probe_Time.seconds, Probe_Time.nanoseconds}};
        struct stat st {};
        const bool kept = ::utimensat(at, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 &&
                          ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(at, name.c_str(), 0);
        ::close(at);
        if (!kept) return;
        if (auto step = time_step_shown(Probe_Time, {st.st_mtim.tv_sec, st.st_mtim.tv_nsec}))
            measured_steps().remember(key_of(mount), *step);
    } catch (...) {
    }
}

}  // namespace zentrel::platform
