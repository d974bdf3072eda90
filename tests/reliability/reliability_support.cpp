#include "reliability/reliability_support.h"

#include "common/built_program.h"
#include "common/temp_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace zentrel::testing {

namespace fs = std::filesystem;

bool long_form() {
    const char* value = std::getenv("ZENTREL_LONG");
    return value && *value && std::string(value) != "0";
}

std::mt19937_64 seeded_random() {
    const char* given = std::getenv("ZENTREL_SEED");
    const unsigned seed =
        static_cast<unsigned>(given ? std::strtoul(given, nullptr, 10)
                                    : std::chrono::system_clock::now().time_since_epoch().count() % 1000000);
    std::printf("seed %u (ZENTREL_SEED=%u repeats it)\n", seed, seed);
    return std::mt19937_64(seed);
}

std::map<std::string, File_Image> snapshot(const std::string& root) {
    std::map<std::string, File_Image> images;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory() && !it->is_symlink()) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        File_Image image;
        image.seconds = st.st_mtim.tv_sec;
        image.nanoseconds = st.st_mtim.tv_nsec;
        if (S_ISLNK(st.st_mode))
            image.content = "-> " + fs::read_symlink(it->path()).string();
        else if (S_ISREG(st.st_mode))
            image.content = read_file(it->path());
        else
            image.content = "(special)";
        images[fs::relative(it->path(), root).string()] = std::move(image);
    }
    return images;
}

namespace {

std::string random_bytes(std::mt19937_64& random, std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint64_t word = random();
        for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<char>(word >> (8 * b));
    }
    for (; i < size; ++i) bytes[i] = static_cast<char>(random());
    return bytes;
}

std::int64_t days_ago(std::mt19937_64& random, int at_least, int at_most) {
    std::uniform_int_distribution<std::int64_t> day(at_least, at_most);
    std::uniform_int_distribution<long> nanos(0, 999'999'999);
    return static_cast<std::int64_t>(std::time(nullptr)) - day(random) * 86400 - nanos(random) % 86400;
}

}  // namespace

void generate_tree(const std::string& root, std::mt19937_64& random, int files, int folders, int large_files) {
    std::vector<std::string> places{root};
    for (int f = 1; f < folders; ++f) {
        // Every folder hangs below one made before it, so depths vary.
        const std::string& parent = places[random() % places.size()];
        places.push_back(parent + "/ordner " + std::to_string(f));
    }
    for (const std::string& place : places) make_folders(place);
    std::uniform_int_distribution<std::size_t> small(0, 48 * 1024);
    std::uniform_int_distribution<std::size_t> large(1 << 20, 4 << 20);
    std::uniform_int_distribution<long> nanos(0, 999'999'999);
    for (int i = 0; i < files; ++i) {
        const std::string path = places[random() % places.size()] + "/datei_" + std::to_string(i) + ".dat";
        write_file(path, random_bytes(random, i < large_files ? large(random) : small(random)));
        set_mtime(path, days_ago(random, 10, 20), nanos(random));
    }
}

std::map<std::string, File_Image> write_old_versions(const std::string& source, const std::string& target,
                                                     std::mt19937_64& random) {
    std::map<std::string, File_Image> old;
    int index = 0;
    std::uniform_int_distribution<long> nanos(0, 999'999'999);
    for (const auto& [relative, image] : snapshot(source)) {
        if (index++ % 2) continue;
        File_Image version;
        // Every fourth old version keeps the size, so only content and time tell them apart.
        const std::size_t size = index % 4 == 1 ? image.content.size() : image.content.size() / 2 + 7;
        version.content = random_bytes(random, size);
        if (version.content == image.content) version.content += 'x';
        version.seconds = days_ago(random, 30, 40);
        version.nanoseconds = nanos(random);
        write_file(target + "/" + relative, version.content);
        set_mtime(target + "/" + relative, version.seconds, version.nanoseconds);
        old[relative] = version;
    }
    return old;
}

std::string driver_path() { return built_program(ZENTREL_SCRIPTED_RUN); }

Child_Result run_driver(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                        std::optional<std::chrono::microseconds> kill_after, std::chrono::seconds limit) {
    char log_name[] = "/tmp/zentrel-driver-log-XXXXXX";
    const int log = ::mkstemp(log_name);
    if (log < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(log_name);

    std::vector<std::string> environment_texts;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!env.count(name)) environment_texts.push_back(entry);
    }
    for (const auto& [name, value] : env) environment_texts.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : environment_texts) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argument_texts{driver_path()};
    argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argument_texts) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }

    Child_Result result;
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    bool signalled = false;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        const auto elapsed = std::chrono::steady_clock::now() - started;
        if (!signalled && kill_after && elapsed >= *kill_after) {
            ::kill(child, SIGKILL);
            signalled = true;
            result.killed = true;
        } else if (!signalled && elapsed >= limit) {
            ::kill(child, SIGKILL);
            signalled = true;
            result.timed_out = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // A child that ended on its own before the signal was not killed.
    if (result.killed && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) result.killed = false;
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    result.elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);

    ::lseek(log, 0, SEEK_SET);
    char buffer[4096];
    for (ssize_t got; (got = ::read(log, buffer, sizeof buffer)) > 0;) result.output.append(buffer, got);
    ::close(log);
    return result;
}

}  // namespace zentrel::testing
