// The run without a window, end to end: the real program as a child process
// on real folders, its settings in a temporary registry.
#include "common/built_program.h"
#include "common/temp_folder.h"
#include "common/unprivileged.h"
#include "platform/file_objects.h"
#include "platform/registry_store.h"
#include "platform/tree_lock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace zentrel::testing {
namespace {

// zentrel-run as built, or its copy (tests/as-ordinary-user).
const std::string Run_Program = built_program(ZENTREL_RUN);

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // exit status; -1 when ended by a signal
    std::string out, err;
};

std::string slurp(int descriptor) {
    std::string text;
    ::lseek(descriptor, 0, SEEK_SET);
    char buffer[4096];
    for (ssize_t got; (got = ::read(descriptor, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
    ::close(descriptor);
    return text;
}

int scratch_file() {
    char name[] = "/tmp/zentrel-cli-output-XXXXXX";
    const int descriptor = ::mkstemp(name);
    ::unlink(name);
    return descriptor;
}

// Runs program with arguments; while it runs, act is called about every
// millisecond with its pid until act returns true.
Outcome run(const std::string& program, const std::vector<std::string>& arguments,
            const std::function<bool(pid_t)>& act = {}, const std::vector<std::string>& unset = {}) {
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int out = scratch_file(), err = scratch_file();
    const pid_t child = ::fork();
    if (child == 0) {
        for (const std::string& name : unset) ::unsetenv(name.c_str());
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    bool acted = !act;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) != child) {
        if (!acted) acted = act(child);
        if (std::chrono::steady_clock::now() > limit) ::kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Outcome outcome;
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    return outcome;
}

Outcome run_stored_job(const std::vector<std::string>& arguments, const std::function<bool(pid_t)>& act = {}) {
    return run(Run_Program, arguments, act);
}

// Every regular file below root by relative path, with its content.
std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = read_file(entry.path());
    return files;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class Stored_Job_Run : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZENTREL_REGISTRY_DIR", (tmp / "registry").c_str(), 1);
        // A synchronisation's record and trash stay with the test.
        for (const char* name : {"XDG_STATE_HOME", "XDG_DATA_HOME"}) {
            if (const char* value = std::getenv(name)) kept_environment.emplace_back(name, value);
            setenv(name, (tmp / name).c_str(), 1);
        }
        make_folders(source);
        make_folders(target);
        store("Sourcefolder", source);
        store("Targetfolder", target);
        store("Include_Subfolders", "1");
    }
    void TearDown() override {
        unsetenv("ZENTREL_REGISTRY_DIR");
        unsetenv("XDG_STATE_HOME");
        unsetenv("XDG_DATA_HOME");
        for (const auto& [name, value] : kept_environment) setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::string>> kept_environment;

    // One value of the stored settings, as the window writes it.
    static void store(const std::string& name, const std::string& value) {
        platform::Registry_Key key = 0;
        ASSERT_EQ(platform::Reg_Create_Key(platform::HKEY_CURRENT_USER, "Software\\Marravel\\Zentrel", key), 0);
        ASSERT_EQ(
            platform::Reg_Set_Value(key, name, platform::REG_SZ, reinterpret_cast<const unsigned char*>(value.c_str()),
                                    static_cast<std::uint32_t>(value.size() + 1)),
            0);
        platform::Reg_Close_Key(key);
    }
    std::string settings_file() const { return tmp / "registry/HKEY_CURRENT_USER.reg"; }

    Temp_Folder tmp;
    const std::string source = tmp / "source";
    const std::string target = tmp / "target";
};

TEST_F(Stored_Job_Run, RunsTheStoredJobAndNeverStoresItsOverrides) {
    store("Exclude_Filter", "*.tmp");
    write_file(source + "/a.txt", "a");
    write_file(source + "/b.tmp", "b");
    write_file(source + "/c.doc", "c");
    write_file(source + "/sub/d.txt", "d");
    const std::string settings = read_file(settings_file());

    const Outcome narrowed = run_stored_job({"--include", "*.txt", "--no-subfolders"});
    EXPECT_EQ(narrowed.status, 0) << narrowed.err;
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"a.txt", "a"}}));
    EXPECT_EQ(read_file(settings_file()), settings);

    const Outcome stored = run_stored_job({});
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"a.txt", "a"}, {"c.doc", "c"}, {"sub/d.txt", "d"}}));
    EXPECT_EQ(lines(stored.err), (std::vector<std::string>{"3 Dateien erfolgreich verarbeitet",
                                                           "2 Dateien kopiert (2 B), 1 unverändert"}));
    EXPECT_EQ(stored.out, "");
    EXPECT_EQ(read_file(settings_file()), settings);

    // A run with nothing to do says that it copied nothing.
    const Outcome again = run_stored_job({});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(lines(again.err),
              (std::vector<std::string>{"3 Dateien erfolgreich verarbeitet", "Keine Datei kopiert, 3 unverändert"}));
}

// A job the start refuses writes nothing and ends with status 2; its dry run
// foresees the refusal and lists nothing.
struct Refusal {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;  // a part of what standard error says
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class Refused_Job : public Stored_Job_Run, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused_Job, WritesNothingAndEndsWithStatusTwo) {
    write_file(source + "/a.txt", "a");
    platform::Tree_Lock other_run(platform::real_file_system());
    std::vector<std::string> arguments = GetParam().arguments;
    // An empty folder where removable storage is mounted, with nothing
    // mounted on it: as a stick that is not plugged in.
    std::string unplugged;
    struct Remove_Folder {
        std::string& path;
        ~Remove_Folder() {
            if (!path.empty()) ::rmdir(path.c_str());
        }
    } remove_unplugged{unplugged};
    for (std::string& argument : arguments) {
        if (argument.starts_with("SOURCE")) argument.replace(0, 6, source);
        if (argument == "MISSING") argument = tmp / "missing";
        if (argument == "UNPLUGGED") {
            char folder[] = "/mnt/zentrel-cli-XXXXXX";
            if (!::mkdtemp(folder)) GTEST_SKIP() << "cannot make a folder in /mnt: " << std::strerror(errno);
            unplugged = folder;
            argument = unplugged + "/Sicherung";
        }
        if (argument == "LOCKED") {
            ASSERT_TRUE(other_run.acquire(target));
        }
    }
    std::erase(arguments, "LOCKED");

    for (const bool dry : {true, false}) {
        SCOPED_TRACE(dry ? "dry run" : "run");
        std::vector<std::string> given = arguments;
        if (dry) given.push_back("--dry-run");
        const Outcome outcome = run_stored_job(given);
        EXPECT_EQ(outcome.status, 2) << outcome.err;
        EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{}));
    EXPECT_EQ(tree(source), (std::map<std::string, std::string>{{"a.txt", "a"}}));
    EXPECT_FALSE(exists(tmp / "missing"));
    if (!unplugged.empty()) {
        EXPECT_TRUE(fs::is_empty(unplugged));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, Refused_Job,
    ::testing::Values(Refusal{"MissingTargetWithoutCreate", {"--target", "MISSING"}, "--create-target"},
                      Refusal{"EmptyTarget", {"--target", "", "--create-target"}, "Kein Zielverzeichnis angegeben"},
                      Refusal{"TargetOnAStickNotPluggedIn",
                              {"--target", "UNPLUGGED", "--create-target"},
                              "Fehler: Der Datenträger des Zielverzeichnisses scheint nicht eingehängt zu sein"},
                      Refusal{"MissingSource", {"--source", "MISSING"}, "Quellverzeichnis existiert nicht..."},
                      Refusal{"IdenticalFolders", {"--target", "SOURCE"}, "identisch"},
                      Refusal{"NestedFolders", {"--target", "SOURCE/copy"}, "ineinander"},
                      Refusal{"TargetInUse", {"LOCKED"}, "von einer anderen Ausführung benutzt"},
                      Refusal{"UnknownOption", {"--archive-all"}, "siehe zentrel --help"},
                      Refusal{"OnErrorValue", {"--on-error=retry"}, "siehe zentrel --help"},
                      Refusal{"NoDate", {"--newer-than", "gestern"}, "kein Datum"}),
    [](const auto& info) { return std::string(info.param.name); });

// What the window stored is what a scheduler runs, under any locale: long
// filters whole, the ISO date, what a damaged file still holds (named once).
TEST_F(Stored_Job_Run, RunsTheJobAsTheWindowStoredItUnderAnyLocale) {
    std::string exclude = "*.key";
    while (exclude.size() < 277) exclude = "*.tmp;*.bak;" + exclude;
    store("Exclude_Filter", exclude);
    store("Later_Then", "2024-06-01");
    write_file(source + "/secret.key", "k");
    write_file(source + "/new.txt", "n");
    write_file(source + "/old.txt", "o");
    set_mtime(source + "/new.txt", 1'750'000'000);  // 2025
    set_mtime(source + "/old.txt", 1'700'000'000);  // 2023
    const std::vector<std::string> locale = {"LC_ALL", "LC_TIME", "LANG"};
    Outcome outcome = run(Run_Program, {}, {}, locale);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"new.txt", "n"}})) << outcome.err;
    EXPECT_EQ(outcome.err.find("Einstellungsdatei"), std::string::npos) << outcome.err;

    // A damaged file: what it still holds is run, and it is named once.
    write_file(settings_file(), read_file(settings_file()) + "\x01 not a line\n");
    std::filesystem::remove(target + "/new.txt");
    outcome = run(Run_Program, {}, {}, locale);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"new.txt", "n"}}));
    EXPECT_EQ(lines(outcome.err).front(), "zentrel: Die Einstellungsdatei '" + settings_file() +
                                              "' ist beschädigt (ab Zeile 13). Übernommen wurden: Sourcefolder, "
                                              "Targetfolder, Exclude_Filter, Include_Subfolders, Later_Then. Die "
                                              "Datei bleibt unverändert.");
}

// A stored value that cannot be read is never run without, unless this run
// gives its own; a run without a stored job names the file it looked in.
TEST_F(Stored_Job_Run, UnreadableStoredValuesAndAMissingJobStopTheRun) {
    write_file(source + "/a.txt", "a");
    const std::vector<std::string> locale = {"LC_ALL", "LC_TIME", "LANG"};
    store("Later_Then", "01.06.2024");  // an older file's regional text
    Outcome outcome = run(Run_Program, {}, {}, locale);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("'Later_Then' ('01.06.2024') ist kein Datum"), std::string::npos) << outcome.err;
    outcome = run(Run_Program, {"--dry-run", "--no-newer-than"}, {}, locale);
    EXPECT_EQ(outcome.status, 0) << outcome.err;

    store("Later_Then", "");
    store("Exclude_Filter", std::string(65537, 'x'));
    outcome = run_stored_job({"--dry-run"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("'Exclude_Filter' ist mit 65538 Bytes zu lang"), std::string::npos) << outcome.err;
    EXPECT_EQ(run_stored_job({"--dry-run", "--exclude", "*.tmp"}).status, 0);

    setenv("ZENTREL_REGISTRY_DIR", (tmp / "nowhere").c_str(), 1);
    outcome = run_stored_job({"--dry-run"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "zentrel: Keine gespeicherte Aufgabe (weder Quell- noch Zielverzeichnis) in der "
              "Einstellungsdatei '" +
                  tmp / "nowhere/HKEY_CURRENT_USER.reg" +
                  "', die es nicht gibt; mit --source und --target lässt sich die Aufgabe angeben.\n");
    outcome = run_stored_job({"--dry-run", "--source", source});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("Kein Zielverzeichnis gespeichert"), std::string::npos) << outcome.err;
    EXPECT_EQ(run_stored_job({"--dry-run", "--source", source, "--target", target}).status, 0);
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{}));
}

// Archive bits choose the files; resetting them is another option.
TEST_F(Stored_Job_Run, ArchiveOnlyTakesTheMarkedFilesAndClearsNoBit) {
    write_file(source + "/marked.txt", "m");
    write_file(source + "/cleared.txt", "c");
    platform::File_System_Objects files(platform::real_file_system());
    files.GetFile(source + "/cleared.txt").Set_Attributes(0);
    const Outcome outcome = run_stored_job({"--archive-only"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"marked.txt", "m"}}));
    EXPECT_EQ(files.GetFile(source + "/marked.txt").Attributes(), platform::Attribute_Archive);
}

// What each program answers on its command line alone: exit status, the
// first line, and for a mistake nothing but that line and where to read on.
struct Answer {
    const char* name;
    const char* program;  // ZENTREL_RUN or the window program (nullptr where not built)
    std::vector<std::string> arguments;
    int status;
    const char* first_line;  // of standard output on success, of standard error otherwise
};

void PrintTo(const Answer& answer, std::ostream* out) { *out << answer.name; }

class Command_Line_Answer : public Stored_Job_Run, public ::testing::WithParamInterface<Answer> {};

TEST_P(Command_Line_Answer, ExitStatusAndFirstLine) {
    write_file(source + "/a.txt", "a");
    const Answer& answer = GetParam();
    if (!answer.program) GTEST_SKIP() << "this build has no window program";
    const Outcome outcome = run(answer.program, answer.arguments);
    EXPECT_EQ(outcome.status, answer.status) << outcome.err;
    const auto said = lines(answer.status == 0 ? outcome.out : outcome.err);
    ASSERT_FALSE(said.empty()) << outcome.err;
    std::string first_line = answer.first_line;
    if (first_line.starts_with("SOURCE")) first_line.replace(0, 6, source);
    EXPECT_EQ(said.front(), first_line);
    if (answer.status == 2) {
        EXPECT_EQ(said, (std::vector<std::string>{first_line, "siehe zentrel --help"}));
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(tree(target), (std::map<std::string, std::string>{}));
}

constexpr const char* Usage = "Aufruf: zentrel --run [OPTIONEN]";

#ifdef ZENTREL_WINDOW_PROGRAM
const std::string Window_Program_Copy = built_program(ZENTREL_WINDOW_PROGRAM);
const char* const Window_Program = Window_Program_Copy.c_str();
#else
// The sanitizer builds have no window program: its cases skip there.
const char* const Window_Program = nullptr;
#endif

INSTANTIATE_TEST_SUITE_P(
    Answers, Command_Line_Answer,
    ::testing::Values(
        Answer{"ShortHelp", Run_Program.c_str(), {"-h"}, 0, Usage},
        Answer{"AbbreviatedHelp", Run_Program.c_str(), {"--he"}, 0, Usage},
        Answer{"ShortVersion", Run_Program.c_str(), {"-V"}, 0, "zentrel " ZENTREL_VERSION},
        Answer{"WindowProgramsHelp", Window_Program, {"-h"}, 0, Usage},
        Answer{"AbbreviatedDryRunAfterDoubleDash", Run_Program.c_str(), {"--dry", "--"}, 0, "SOURCE/a.txt"},
        Answer{"UnknownOption",
               Run_Program.c_str(),
               {"--no-such-option"},
               2,
               "zentrel: unbekannte oder mehrdeutige Option '--no-such-option'"},
        Answer{"AmbiguousAbbreviation",
               Run_Program.c_str(),
               {"--s", "x"},
               2,
               "zentrel: unbekannte oder mehrdeutige Option '--s'"},
        Answer{"UnknownShortOption", Run_Program.c_str(), {"-x"}, 2, "zentrel: unbekannte Option '-x'"},
        Answer{"MissingValue", Run_Program.c_str(), {"--source"}, 2, "zentrel: '--source' braucht einen Wert"},
        Answer{
            "StrayArgument", Run_Program.c_str(), {"--dry-run", "extra"}, 2, "zentrel: unerwartetes Argument 'extra'"},
        Answer{"WindowProgramsUnknownOption",
               Window_Program,
               {"--no-such-option"},
               2,
               "zentrel: unbekannte Option '--no-such-option' (das Fenster kennt keine; ohne Fenster: --run)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A list or summary that cannot be written is a failure, said in one line.
TEST_F(Stored_Job_Run, OutputThatCannotBeWrittenFailsTheRun) {
    write_file(source + "/a.txt", "a");
    for (const char* redirection : {"--dry-run >/dev/full", "--help >/dev/full", "--dry-run | (exec 0<&-)"}) {
        SCOPED_TRACE(redirection);
        const Outcome outcome =
            run("/bin/bash", {"-c", std::string("\"$0\" ") + redirection + "; exit ${PIPESTATUS[0]}", Run_Program});
        EXPECT_EQ(outcome.status, 1) << outcome.err;
        const auto said = lines(outcome.err);
        ASSERT_FALSE(said.empty());
        EXPECT_TRUE(said.back().ends_with("konnte nicht vollständig geschrieben werden")) << outcome.err;
    }
    // The summary goes to standard error; where that is full, the run fails
    // although every file was copied.
    const Outcome full = run("/bin/sh", {"-c", "\"$0\" 2>/dev/full", Run_Program});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(read_file(target + "/a.txt"), "a");
}

// An exclude item ending in "/" leaves out folders of that name, at any
// depth, with all they hold; a file of that name is still copied.
TEST_F(Stored_Job_Run, ExcludedFoldersAreLeftOutWithWhatTheyHold) {
    write_file(source + "/.cache/a", "cache");
    write_file(source + "/sub/.cache/b", "deep cache");
    write_file(source + "/Downloads-2026/c", "download");
    write_file(source + "/keep/Downloads", "a file");
    write_file(source + "/keep/.cache.txt", "kept");
    write_file(source + "/keep/d.tmp", "tmp");
    const std::vector<std::string> options{"--hidden", "--exclude", ".cache/; Down*/ ,*.tmp"};
    std::vector<std::string> dry = options;
    dry.push_back("--dry-run");
    const Outcome preview = run_stored_job(dry);
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(lines(preview.out), (std::vector<std::string>{source + "/keep/.cache.txt", source + "/keep/Downloads"}));

    const Outcome outcome = run_stored_job(options);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(tree(target),
              (std::map<std::string, std::string>{{"keep/.cache.txt", "kept"}, {"keep/Downloads", "a file"}}));
    EXPECT_FALSE(exists(target + "/.cache"));
}

TEST_F(Stored_Job_Run, CreatesAMissingTargetOnlyWhenTold) {
    write_file(source + "/a.txt", "a");
    const std::string missing = tmp / "new/target";
    // A dry run foresees the run, also a synchronisation into the target it
    // would make, and makes nothing.
    const Outcome preview = run_stored_job({"--target", missing, "--create-target", "--sync", "--dry-run"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out, "-> " + source + "/a.txt\n");
    EXPECT_FALSE(exists(tmp / "new"));
    // Named from the working folder, as on any command line.
    const Outcome outcome = run_stored_job({"--target", fs::relative(missing).string(), "--create-target"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(tree(missing), (std::map<std::string, std::string>{{"a.txt", "a"}}));
}

// A folder in the target where a file should go: the copy fails even for root.
TEST_F(Stored_Job_Run, FailedFilesAreListedWithTheirReasonAndAbortStopsAtTheFirst) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) write_file(source + "/" + name, name);
    write_file(target + "/a.txt/inside", "");
    write_file(target + "/b.txt/inside", "");

    const Outcome ignoring = run_stored_job({});
    EXPECT_EQ(ignoring.status, 1) << ignoring.err;
    const auto reported = lines(ignoring.err);
    ASSERT_EQ(reported.size(), 4u) << ignoring.err;
    EXPECT_EQ(reported[0], "Kopierfehler bei 2 Dateien");
    EXPECT_EQ(reported[1], "1 Dateien kopiert (5 B)");
    for (int i : {2, 3}) {
        const std::string file = source + (i == 2 ? "/a.txt" : "/b.txt");
        EXPECT_TRUE(reported[i].starts_with("  " + file + " -- Konnte Datei nicht kopieren")) << reported[i];
        EXPECT_NE(reported[i].find("Is a directory"), std::string::npos) << reported[i];
    }
    EXPECT_EQ(read_file(target + "/c.txt"), "c.txt");

    fs::remove(target + "/c.txt");
    const Outcome aborting = run_stored_job({"--on-error=abort"});
    EXPECT_EQ(aborting.status, 1) << aborting.err;
    EXPECT_EQ(lines(aborting.err).front(), "Kopierfehler bei 1 Dateien - Abbruch durch Benutzer");
    EXPECT_FALSE(exists(target + "/c.txt"));
}

// Onto a small file system: too little space is foreseen and refused
// unless told otherwise; a target found full then asks nothing per file.
TEST_F(Stored_Job_Run, ASmallTargetIsForeseenAndAFullOneFailsTheRestAtOnce) {
    if (::mount("zentrel-test", target.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{target};
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) write_file(source + "/" + name, std::string(600'000, *name));

    for (const bool dry : {true, false}) {
        const Outcome refused =
            run_stored_job(dry ? std::vector<std::string>{"--dry-run"} : std::vector<std::string>{});
        EXPECT_EQ(refused.status, 2) << refused.err;
        EXPECT_TRUE(
            lines(refused.err)
                .front()
                .starts_with("Fehler: Im Zielverzeichnis " + target + " ist nicht genug Platz frei (benötigt: 1.8 MB"))
            << refused.err;
        EXPECT_EQ(refused.out, "");
        EXPECT_TRUE(fs::is_empty(target));
    }

    const Outcome forced = run_stored_job({"--even-if-full"});
    EXPECT_EQ(forced.status, 1) << forced.err;
    const auto told = lines(forced.err);
    ASSERT_EQ(told.size(), 6u) << forced.err;
    EXPECT_TRUE(told[0].starts_with("Hinweis: Im Zielverzeichnis")) << told[0];
    EXPECT_EQ(told[1],
              "Fehler: Im Zielverzeichnis " + target +
                  " ist kein Platz mehr frei; was nicht mehr passt, kommt ohne weitere Meldung in die Fehlerliste");
    EXPECT_EQ(told[2], "Kopierfehler bei 2 Dateien");
    EXPECT_EQ(told[3], "1 Dateien kopiert (600.0 kB)");
    EXPECT_TRUE(told[4].starts_with("  " + source + "/b.bin -- ")) << told[4];
    EXPECT_EQ(tree(target).size(), 1u);

    fs::remove(target + "/a.bin");
    write_file(target + "/filler", std::string(900'000, 'f'));
    const Outcome stopped = run_stored_job({"--even-if-full", "--on-error=abort"});
    EXPECT_EQ(stopped.status, 1) << stopped.err;
    EXPECT_NE(stopped.err.find("\nKopierfehler bei 1 Dateien - Abbruch durch Benutzer\nKeine Datei kopiert\n"),
              std::string::npos)
        << stopped.err;
}

// The labels agree with the exit status: a note after a successful run
// leaves it successful.
TEST_F(Stored_Job_Run, ArchiveBitsThatCannotBeClearedAreANoteNotAFailure) {
    write_file(source + "/a.txt", "a");
    Hand_Over(tmp.path());
    ASSERT_EQ(::chmod((source + "/a.txt").c_str(), 0444), 0);  // read-only: its mark cannot be cleared
    const auto reachable =
        Run_Unprivileged([&]() -> std::string { return ::access(Run_Program.c_str(), X_OK) == 0 ? "" : "closed"; });
    if (!reachable.message.empty())
        GTEST_SKIP() << "the build folder is closed to uid " << Unprivileged_Uid
                     << "; cli_as_ordinary_user runs this case from a copy";
    const auto outcome = Run_Unprivileged([&]() -> std::string {
        const Outcome run = run_stored_job({"--archive-only", "--reset-archive"});
        if (run.status != 0) return "exit status " + std::to_string(run.status) + ": " + run.err;
        const auto told = lines(run.err);
        if (told.size() != 3 || !told[0].starts_with("Hinweis: Bei 1 kopierten Dateien konnte das Archivbit nicht") ||
            told[1] != "1 Dateien erfolgreich verarbeitet")
            return "told: " + run.err;
        return "";
    });
    if (outcome.skipped) GTEST_SKIP() << outcome.message;
    EXPECT_EQ(outcome.message, "");
    EXPECT_EQ(read_file(target + "/a.txt"), "a");
}

// What --dry-run lists is what the run then writes, in either direction;
// a synchronisation chosen on the command line also copies only newer
// files, as the window's box does, so that no older file replaces a newer.
enum class Direction { One_Way, Stored_Both_Ways, Both_Ways_By_Option };

class Dry_Run : public Stored_Job_Run, public ::testing::WithParamInterface<Direction> {};

TEST_P(Dry_Run, WritesNothingAndListsExactlyWhatTheRunCopies) {
    const bool synchronize = GetParam() != Direction::One_Way;
    const std::vector<std::string> options =
        GetParam() == Direction::Both_Ways_By_Option ? std::vector<std::string>{"--sync"} : std::vector<std::string>{};
    write_file(source + "/new.txt", "new");
    write_file(source + "/same.txt", "same");
    write_file(target + "/same.txt", "same");
    set_mtime(source + "/same.txt", 1'700'000'000);
    set_mtime(target + "/same.txt", 1'700'000'000);
    write_file(source + "/changed.txt", "source version");
    write_file(target + "/changed.txt", "old");
    set_mtime(target + "/changed.txt", 1'600'000'000);
    write_file(source + "/skip.tmp", "excluded");
    write_file(source + "/.hidden", "hidden");
    write_file(source + "/deep/er/file.txt", "deep");
    write_file(target + "/only-in-target.txt", "back");
    write_file(target + "/newer-in-target.txt", "target version");
    write_file(source + "/newer-in-target.txt", "older");
    set_mtime(source + "/newer-in-target.txt", 1'600'000'000);
    store("Exclude_Filter", "*.tmp");
    store("Synchronize", GetParam() == Direction::Stored_Both_Ways ? "1" : "0");
    const auto source_before = tree(source), target_before = tree(target);
    const std::string settings = read_file(settings_file());

    std::vector<std::string> dry = options;
    dry.push_back("--dry-run");
    const Outcome preview = run_stored_job(dry);
    EXPECT_EQ(preview.status, 0) << preview.err;
    // A synchronisation says which way each file goes.
    std::vector<std::string> listed;
    for (const std::string& line : lines(preview.out)) {
        if (!synchronize) {
            listed.push_back(line);
            continue;
        }
        const std::string path = line.substr(3);
        EXPECT_EQ(line.substr(0, 3), path.starts_with(source + "/") ? "-> " : "<- ") << line;
        listed.push_back(path);
    }
    std::uintmax_t bytes = 0;
    for (const auto& path : listed) bytes += fs::file_size(path);
    EXPECT_EQ(lines(preview.err).back(), std::to_string(lines(preview.out).size()) + " Dateien, " +
                                             std::to_string(bytes) + " Bytes würden kopiert");
    EXPECT_EQ(tree(source), source_before);
    EXPECT_EQ(tree(target), target_before);
    EXPECT_EQ(read_file(settings_file()), settings);

    const Outcome copied = run_stored_job(options);
    EXPECT_EQ(copied.status, 0) << copied.err;
    // Each written file, named by where the run read it.
    std::set<std::string> written;
    const std::vector<std::tuple<std::string, std::string, std::map<std::string, std::string>>> directions{
        {target, source, target_before}, {source, target, source_before}};
    for (const auto& [into, from, before] : directions) {
        for (const auto& [path, content] : tree(into)) {
            const auto old = before.find(path);
            if (old == before.end() || old->second != content) written.insert(from + "/" + path);
        }
    }
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), written);
    EXPECT_EQ(listed.size(), written.size()) << preview.out;
    EXPECT_EQ(written.size(), synchronize ? 5u : 4u);
    EXPECT_EQ(read_file(target + "/newer-in-target.txt"), synchronize ? "target version" : "older");
}

INSTANTIATE_TEST_SUITE_P(Directions, Dry_Run,
                         ::testing::Values(Direction::One_Way, Direction::Stored_Both_Ways,
                                           Direction::Both_Ways_By_Option),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Direction::One_Way:
                                     return "OneWay";
                                 case Direction::Stored_Both_Ways:
                                     return "StoredBothWays";
                                 case Direction::Both_Ways_By_Option:
                                     return "BothWaysByOption";
                             }
                             return "";
                         });

// A synchronisation that remembers: an edit on both sides is a conflict
// that keeps both versions and fails the run; with deletions following
// (option or stored setting), a file deleted on one side goes to the other
// side's trash. The dry run says which way each file goes and what else
// becomes of it.
TEST_F(Stored_Job_Run, SynchronisationKeepsBothEditsAndLetsDeletionsFollowIntoTheTrash) {
    store("Synchronize", "1");
    for (const std::string& root : {source, target}) {
        write_file(root + "/a.txt", "a");
        write_file(root + "/b.txt", "b");
        write_file(root + "/c.txt", "c");
        for (const char* name : {"/a.txt", "/b.txt", "/c.txt"}) set_mtime(root + name, 1'600'000'000);
    }
    ASSERT_EQ(run_stored_job({}).status, 0);
    write_file(source + "/a.txt", "Laptop");
    write_file(target + "/a.txt", "Stick, später");
    set_mtime(source + "/a.txt", 1'700'000'000);
    set_mtime(target + "/a.txt", 1'700'000'100);
    fs::remove(target + "/b.txt");
    write_file(target + "/neu.txt", "neu");

    const Outcome preview = run_stored_job({"--sync-deletions", "--dry-run"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(lines(preview.out),
              (std::vector<std::string>{"!! " + source + "/a.txt (Konflikt: beide Fassungen bleiben)",
                                        "-- " + source + "/b.txt (in den Papierkorb)", "<- " + target + "/neu.txt"}));
    const Outcome with_option = run_stored_job({"--sync-deletions"});
    EXPECT_EQ(with_option.status, 1) << with_option.err;
    EXPECT_NE(with_option.err.find(", 1 Konflikt\n"), std::string::npos) << with_option.err;
    EXPECT_NE(with_option.err.find("2 Dateien kopiert"), std::string::npos) << with_option.err;
    EXPECT_NE(with_option.err.find(", 1 in den Papierkorb verschoben\n"), std::string::npos) << with_option.err;
    EXPECT_EQ(read_file(source + "/a.txt"), "Stick, später");
    EXPECT_FALSE(exists(source + "/b.txt"));
    EXPECT_EQ(read_file(tmp / "XDG_DATA_HOME/Trash/files/b.txt"), "b");
    EXPECT_EQ(tree(source), tree(target));
    EXPECT_EQ(tree(source).size(), 4u);  // a.txt, its conflict copy, c.txt, neu.txt

    // Without the option a deletion comes back; stored, it follows.
    fs::remove(target + "/c.txt");
    EXPECT_EQ(run_stored_job({}).status, 0);
    EXPECT_EQ(read_file(target + "/c.txt"), "c");
    store("Sync_Deletions", "1");
    fs::remove(target + "/c.txt");
    EXPECT_EQ(run_stored_job({}).status, 0);
    EXPECT_FALSE(exists(source + "/c.txt"));
    EXPECT_EQ(read_file(tmp / "XDG_DATA_HOME/Trash/files/c.txt"), "c");

    // A pair forgotten is synchronised as the first time: the newer edit wins.
    const Outcome forgotten = run_stored_job({"--forget-sync-record"});
    EXPECT_EQ(forgotten.status, 0) << forgotten.err;
    write_file(source + "/neu.txt", "Laptop");
    write_file(target + "/neu.txt", "Stick");
    set_mtime(source + "/neu.txt", 1'800'000'000);
    set_mtime(target + "/neu.txt", 1'800'000'100);
    EXPECT_EQ(run_stored_job({}).status, 0);
    EXPECT_EQ(read_file(source + "/neu.txt"), "Stick");
    EXPECT_EQ(tree(source).size(), 3u);
}

// SIGINT stops the run after the file in progress: whole files only.
// SIGHUP, the terminal going away, does the same.
class Interrupt : public Stored_Job_Run, public ::testing::WithParamInterface<int> {};

TEST_P(Interrupt, StopsAfterTheFileInProgressLeavingWholeFiles) {
    constexpr int Count = 8;
    for (int i = 0; i < Count; ++i)
        write_file(source + "/large-" + std::to_string(i), std::string(48 << 20, static_cast<char>('a' + i)));

    const Outcome outcome = run_stored_job({}, [&](pid_t child) {
        if (fs::is_empty(target)) return false;
        ::kill(child, GetParam());
        return true;
    });
    EXPECT_EQ(outcome.status, 130) << outcome.err;
    EXPECT_NE(outcome.err.find(" - Abbruch durch Benutzer"), std::string::npos) << outcome.err;
    const auto copied = tree(target);
    EXPECT_LT(copied.size(), static_cast<std::size_t>(Count));
    for (const auto& entry : fs::directory_iterator(target)) {
        const std::string name = entry.path().filename().string();
        ASSERT_TRUE(copied.count(name)) << "not a finished copy: " << name;
        EXPECT_TRUE(copied.at(name) == read_file(source + "/" + name)) << name << " is not whole";
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, ::testing::Values(SIGINT, SIGHUP));

// A target renamed while the run copies into it: the run says so and fails.
TEST_F(Stored_Job_Run, ATargetMovedAwayDuringTheRunIsNamed) {
    for (int i = 0; i < 4; ++i) write_file(source + "/large-" + std::to_string(i), std::string(48 << 20, 'm'));
    const std::string moved = tmp / "moved";
    const Outcome outcome = run_stored_job({}, [&](pid_t) {
        if (fs::is_empty(target)) return false;
        fs::rename(target, moved);
        return true;
    });
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("zentrel: das Zielverzeichnis " + target + " wurde während der Ausführung verschoben"),
              std::string::npos)
        << outcome.err;
}

#ifdef ZENTREL_WINDOW_PROGRAM
// The window's program hands --run over before it needs a display, and
// without one says what to do instead of failing inside Qt.
TEST_F(Stored_Job_Run, WindowProgramHandsOverAndNeedsNoDisplayForIt) {
    write_file(source + "/a.txt", "a");
    const std::vector<std::string> no_display{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

    const Outcome preview = run(Window_Program, {"--run", "--dry-run"}, {}, no_display);
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out, source + "/a.txt\n");

    const Outcome window = run(Window_Program, {}, {}, no_display);
    EXPECT_EQ(window.status, 1);
    EXPECT_EQ(lines(window.err).size(), 1u) << window.err;
    EXPECT_NE(window.err.find("zentrel --run"), std::string::npos) << window.err;
}
#endif

}  // namespace
}  // namespace zentrel::testing
