#include "platform/registry_store.h"

#include "common/temp_folder.h"
#include "common/unprivileged.h"
#include "platform/reg_file_format.h"
#include "platform/reg_file_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zentrel::platform {
namespace {

using testing::read_file;
using testing::write_file;

constexpr const char* Key_Path = "Software\\Marravel\\Zentrel";

struct Stored {
    long code = -1;
    std::uint32_t type = 99;
    std::string data;
};

class Registry_Store : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1); }
    void TearDown() override {
        unsetenv("ZENTREL_REGISTRY_DIR");
        EXPECT_EQ(open_registry_keys(), 0);
    }

    std::string registry_folder() const { return folder / "registry"; }
    std::string file() const { return registry_folder() + "/HKEY_CURRENT_USER.reg"; }

    static long set(const std::string& name, std::uint32_t type, const std::string& bytes,
                    const std::string& key_path = Key_Path, Registry_Root root = HKEY_CURRENT_USER) {
        Registry_Key key = 0;
        long code = Reg_Create_Key(root, key_path, key);
        if (code != ERROR_SUCCESS) return code;
        code = Reg_Set_Value(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size()));
        Reg_Close_Key(key);
        return code;
    }
    static Stored get(const std::string& name, std::uint32_t buffer_size = 255, const std::string& key_path = Key_Path,
                      Registry_Root root = HKEY_CURRENT_USER) {
        Stored stored;
        Registry_Key key = 0;
        stored.code = Reg_Open_Key(root, key_path, key);
        if (stored.code != ERROR_SUCCESS) return stored;
        std::string buffer(buffer_size, '\x7f');
        std::uint32_t length = buffer_size;
        stored.code = Reg_Query_Value(key, name, stored.type, reinterpret_cast<unsigned char*>(buffer.data()), length);
        stored.data = stored.code == ERROR_SUCCESS ? buffer.substr(0, length) : std::to_string(length);
        Reg_Close_Key(key);
        return stored;
    }
    reg_file::Document parsed() const { return reg_file::parse(read_file(file()), "HKEY_CURRENT_USER"); }

    testing::Temp_Folder folder;
};

TEST_F(Registry_Store, EveryValueTypeComesBackAsWritten) {
    const std::string texts[] = {"",
                                 "plain",
                                 "quote \" and back\\slash \\\\",
                                 "Gr\xc3\xb6\xc3\x9f"
                                 "e",
                                 "not UTF-8 \xff\xfe",
                                 "two\nlines\r\n",
                                 std::string("inner\0nul", 9)};
    for (const std::string& text : texts) {
        ASSERT_EQ(set("Text", REG_SZ, text), ERROR_SUCCESS);
        Stored stored = get("Text");
        EXPECT_EQ(stored.code, ERROR_SUCCESS);
        EXPECT_EQ(stored.type, REG_SZ);
        EXPECT_EQ(stored.data, text + '\0') << "the terminator is counted";
        EXPECT_FALSE(parsed().damaged) << text;
    }
    // A text given with its terminator is not terminated twice.
    ASSERT_EQ(set("Counted", REG_SZ, std::string("abc\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(get("Counted").data, std::string("abc\0", 4));

    const struct {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    } others[] = {{"Number", REG_DWORD, std::string("\x05\x00\x00\x00", 4)},
                  {"Binary", REG_BINARY, std::string("\x01\x02\x00\xff", 4)},
                  {"Empty binary", REG_BINARY, ""},
                  {"Expand", REG_EXPAND_SZ, std::string("%HOME%\\x\0", 9)},
                  {"None", REG_NONE, ""},
                  {"Multi", 7, std::string("a\0b\0\0", 5)},
                  {"Quad", 11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
                  {"", REG_SZ, std::string("default\0", 8)}};
    for (const auto& value : others) ASSERT_EQ(set(value.name, value.type, value.bytes), ERROR_SUCCESS);
    for (const auto& value : others) {
        Stored stored = get(value.name);
        EXPECT_EQ(stored.code, ERROR_SUCCESS) << value.name;
        EXPECT_EQ(stored.type, value.type) << value.name;
        EXPECT_EQ(stored.data, value.bytes) << value.name;
    }
    EXPECT_FALSE(parsed().damaged);
}

TEST_F(Registry_Store, FileIsRegedit4Text) {
    ASSERT_EQ(set("Sourcefolder", REG_SZ, "C:\\a \"b\""), ERROR_SUCCESS);
    ASSERT_EQ(set("", REG_SZ, "default"), ERROR_SUCCESS);
    ASSERT_EQ(set("N", REG_DWORD, std::string("\x05\x00\x00\x00", 4)), ERROR_SUCCESS);
    ASSERT_EQ(set("B", REG_BINARY, "\x01\x02"), ERROR_SUCCESS);
    ASSERT_EQ(set("E", REG_EXPAND_SZ, "%A%"), ERROR_SUCCESS);
    ASSERT_EQ(set("X", REG_NONE, ""), ERROR_SUCCESS);
    ASSERT_EQ(set("Folder", REG_SZ, "\xff"), ERROR_SUCCESS);
    EXPECT_EQ(read_file(file()),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Marravel]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n"
              "\"Sourcefolder\"=\"C:\\\\a \\\"b\\\"\"\n"
              "@=\"default\"\n"
              "\"N\"=dword:00000005\n"
              "\"B\"=hex:01,02\n"
              "\"E\"=hex(2):25,41,25,00\n"
              "\"X\"=hex(0):\n"
              "\"Folder\"=hex(1):ff,00\n");
}

TEST_F(Registry_Store, HandWrittenFilesAreReadForgivingly) {
    write_file(file(),
               "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
               "; a comment\r\n"
               "[hkey_current_user\\SOFTWARE\\marravel\\zentrel]\r\n"
               "\"Path\" = \"x\\\\y\"\r\n"
               "\"Long\"=hex:01,02,\\\r\n"
               "  03,04\r\n"
               "\"Longer\"=hex:01,\\\r\n"
               "  02,\\\r\n"
               "  03,\\\n"
               "  04\r\n"
               "\"Small\"=dword:1f\r\n"
               "\"Path\"=\"later wins\"\r\n"
               "\"Gone\"=-\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
               "\"Foreign\"=\"not this root\"\r\n");
    EXPECT_EQ(get("path").data, std::string("later wins\0", 11));
    EXPECT_EQ(get("LONG").data, "\x01\x02\x03\x04");
    EXPECT_EQ(get("Longer").data, "\x01\x02\x03\x04");
    EXPECT_EQ(get("Small").data, std::string("\x1f\x00\x00\x00", 4));
    EXPECT_EQ(get("Gone").code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(get("Foreign", 255, "Software\\Other").code, ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry_Store, ReturnCodesOfMissingKeysValuesAndSmallBuffers) {
    Registry_Key key = 99;
    EXPECT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, Key_Path, key), ERROR_FILE_NOT_FOUND) << "no file yet";
    EXPECT_EQ(key, 0u);
    ASSERT_EQ(set("Text", REG_SZ, std::string(254, 'a')), ERROR_SUCCESS);
    EXPECT_EQ(get("Text", 255, "Software\\Marravel\\Other").code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(get("Missing").code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(get("Text", 255).code, ERROR_SUCCESS) << "254 characters and the NUL fill 255 bytes";

    ASSERT_EQ(set("Text", REG_SZ, std::string(255, 'a')), ERROR_SUCCESS);
    Stored too_long = get("Text", 255);
    EXPECT_EQ(too_long.code, ERROR_MORE_DATA);
    EXPECT_EQ(too_long.data, "256") << "the length tells the size needed";

    for (const char* prefix : {"Software\\Marr", "Software\\Marravel\\Zentre"}) {
        EXPECT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, prefix, key), ERROR_FILE_NOT_FOUND) << prefix << " is only a prefix";
        if (key != 0) Reg_Close_Key(key);
    }
    ASSERT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, "software\\MARRAVEL", key), ERROR_SUCCESS) << "keys ignore case";
    std::uint32_t type = 0, length = 0;
    EXPECT_EQ(Reg_Query_Value(key, "Text", type, nullptr, length), ERROR_FILE_NOT_FOUND) << "value of a child key";
    EXPECT_EQ(Reg_Close_Key(key), ERROR_SUCCESS);
    EXPECT_NE(Reg_Close_Key(key), ERROR_SUCCESS) << "a closed handle is no handle";
    EXPECT_NE(Reg_Query_Value(key, "Text", type, nullptr, length), ERROR_SUCCESS);
    EXPECT_NE(Reg_Open_Key(0x12345678u, Key_Path, key), ERROR_SUCCESS);
}

TEST_F(Registry_Store, CreatingAKeyCreatesEveryMissingKeyAndHandlesAreCounted) {
    Registry_Key a = 0, b = 0;
    ASSERT_EQ(Reg_Create_Key(HKEY_CURRENT_USER, "One\\Two\\Three", a), ERROR_SUCCESS);
    EXPECT_EQ(open_registry_keys(), 1);
    ASSERT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, "one\\two", b), ERROR_SUCCESS);
    EXPECT_EQ(open_registry_keys(), 2);
    EXPECT_NE(a, b);
    Reg_Close_Key(a);
    Reg_Close_Key(b);
    EXPECT_EQ(open_registry_keys(), 0);
    reg_file::Document document = parsed();
    EXPECT_NE(document.find("One"), nullptr);
    EXPECT_NE(document.find("One\\Two"), nullptr);
    EXPECT_NE(document.find("One\\Two\\Three"), nullptr);

    // Both roots live in the moved folder.
    ASSERT_EQ(set("M", REG_SZ, "machine", "Software\\X", HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_TRUE(testing::exists(registry_folder() + "/HKEY_LOCAL_MACHINE.reg"));
    EXPECT_EQ(get("M", 255, "Software\\X").code, ERROR_FILE_NOT_FOUND) << "not in the user's root";
    EXPECT_EQ(get("M", 255, "Software\\X", HKEY_LOCAL_MACHINE).code, ERROR_SUCCESS);
}

TEST_F(Registry_Store, DamagedFilesGiveWhatParsesAndAreKeptBeforeARewrite) {
    const std::string good =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"A\"=\"first\"\n\"B\"=\"second\"\n";
    const std::string three_megabytes(3u << 20, 'x');
    const std::string damaged_files[] = {
        good + "\"C\"=\"unterminated\n\"D\"=dword:xyz\n\"E\"=hex:1,zz\n[broken\n\"F\"=\"in no section\"\n",
        good + "\"C\"=\"trunc",
        good + std::string("\0\x01\x02\xff\xfe\n\"C\0\"=\"\0\"\n", 14),
        good + "\"C\"=\"" + three_megabytes + "\n",
        good + three_megabytes + "\n",
        "\xff\xfe" + good,
    };
    for (const std::string& content : damaged_files) {
        write_file(file(), content);
        EXPECT_EQ(get("A").data, std::string("first\0", 6));
        EXPECT_EQ(get("B").data, std::string("second\0", 7));
        EXPECT_EQ(get("C").code, ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(set("Z", REG_SZ, "new"), ERROR_SUCCESS);
        EXPECT_EQ(read_file(file() + ".damaged"), content) << "the damaged file is kept aside";
        EXPECT_FALSE(parsed().damaged);
        EXPECT_EQ(get("A").data, std::string("first\0", 6)) << "other values survive the rewrite";
    }
    // Garbage alone is an empty registry, not a failure.
    write_file(file(), std::string("\x89PNG\r\n\x1a\n\0\0\0", 11));
    EXPECT_EQ(get("A").code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(set("A", REG_SZ, "again"), ERROR_SUCCESS);
    EXPECT_EQ(get("A").data, std::string("again\0", 6));
}

// Files no person writes by hand: many sections, one name repeated, keys
// too deep to be anybody's. Each loads in one pass (the suite's time limit
// catches a pass per look-up; bench/settings_load measures), the last line
// of a name wins, and a save writes no more than was read plus its value.
TEST_F(Registry_Store, ManySectionsRepeatedNamesAndDeepKeysAreReadOnceAndNeverGrow) {
    std::string text = "REGEDIT4\n";
    for (int i = 0; i < 40000; ++i)
        text +=
            "\n[HKEY_CURRENT_USER\\Software\\Many\\K" + std::to_string(i) + "]\n\"V\"=\"" + std::to_string(i) + "\"\n";
    text += "\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n";
    for (int i = 0; i < 20000; ++i) text += "\"Sourcefolder\"=\"/s" + std::to_string(i) + "\"\n";
    std::string deepest_allowed, too_deep;
    for (std::size_t i = 0; i < reg_file::Deepest_Key; ++i) deepest_allowed += (i ? "\\d" : "d");
    too_deep = deepest_allowed + "\\d";
    text += "[HKEY_CURRENT_USER\\" + deepest_allowed + "]\n\"D\"=\"kept\"\n";
    text += "[HKEY_CURRENT_USER\\" + too_deep + "]\n\"D\"=\"refused\"\n";
    text += "[HKEY_CURRENT_USER\\Long\\" + std::string(reg_file::Longest_Key_Name + 1, 'n') + "]\n\"D\"=\"refused\"\n";
    write_file(file(), text);

    EXPECT_EQ(get("Sourcefolder").data, std::string("/s19999\0", 8));
    EXPECT_EQ(get("V", 255, "Software\\Many\\K39999").data, std::string("39999\0", 6));
    EXPECT_EQ(get("D", 255, deepest_allowed).data, std::string("kept\0", 5));
    EXPECT_EQ(get("D", 255, too_deep).code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(get("D", 255, "Long\\" + std::string(reg_file::Longest_Key_Name + 1, 'n')).code, ERROR_FILE_NOT_FOUND);
    Registry_Key key = 0;
    EXPECT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, "software\\MANY", key), ERROR_SUCCESS) << "a key holding only keys";
    Reg_Close_Key(key);
    EXPECT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, "Software\\Man", key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(parsed().damaged);

    ASSERT_EQ(set("Z", REG_SZ, "new"), ERROR_SUCCESS);
    EXPECT_LE(read_file(file()).size(), text.size() + 16);
    // The sections read, the settings key's two parents, nothing else.
    EXPECT_EQ(parsed().keys.size(), 40000u + 2 + 2);
    EXPECT_EQ(read_file(file() + ".damaged"), text);
    EXPECT_EQ(get("V", 255, "Software\\Many\\K0").data, std::string("0\0", 2));
    EXPECT_EQ(get("D", 255, deepest_allowed).data, std::string("kept\0", 5));
}

// A file past the limit is neither read nor parsed (a sparse one here, so
// nothing of it is written); a save keeps it aside and starts afresh.
TEST_F(Registry_Store, FileTooLargeIsNotReadAndIsKeptAsideOnSave) {
    testing::make_folders(registry_folder());
    write_file(file(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marravel\\Zentrel]\n\"A\"=\"a\"\n");
    ASSERT_EQ(::truncate(file().c_str(), reg_file::Largest_File + 1), 0);
    reg_file::Document document;
    const auto reading = reg_file::read_document(*reg_file::location_of(HKEY_CURRENT_USER), document);
    EXPECT_EQ(reading.status, reg_file::File_Status::Too_Large);
    EXPECT_EQ(reading.size, reg_file::Largest_File + 1);
    EXPECT_EQ(reading.path, file());
    EXPECT_EQ(get("A").code, ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(set("B", REG_SZ, "b"), ERROR_SUCCESS);
    struct stat kept {};
    ASSERT_EQ(::stat((file() + ".damaged").c_str(), &kept), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(kept.st_size), reg_file::Largest_File + 1);
    EXPECT_LT(read_file(file()).size(), 200u);
    EXPECT_EQ(get("B").data, std::string("b\0", 2));
}

TEST_F(Registry_Store, UnwritableLocationGivesAccessDenied) {
    write_file(folder / "plain-file", "x");
    setenv("ZENTREL_REGISTRY_DIR", (folder / "plain-file/registry").c_str(), 1);
    Registry_Key key = 0;
    EXPECT_EQ(Reg_Create_Key(HKEY_CURRENT_USER, Key_Path, key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(Reg_Open_Key(HKEY_CURRENT_USER, Key_Path, key), ERROR_FILE_NOT_FOUND);

    // A key opened before its folder became unusable fails to take a value.
    setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1);
    ASSERT_EQ(Reg_Create_Key(HKEY_CURRENT_USER, Key_Path, key), ERROR_SUCCESS);
    std::system(("rm -rf '" + registry_folder() + "'").c_str());
    write_file(registry_folder(), "now a file");
    EXPECT_EQ(Reg_Set_Value(key, "A", REG_SZ, reinterpret_cast<const unsigned char*>("a"), 1), ERROR_ACCESS_DENIED);
    Reg_Close_Key(key);
    EXPECT_EQ(read_file(registry_folder()), "now a file");
}

TEST_F(Registry_Store, APipeWhereTheFileBelongsIsNeitherReadNorReplaced) {
    testing::make_folders(registry_folder());
    ASSERT_EQ(::mkfifo(file().c_str(), 0644), 0);
    // Opened for reading, a pipe without a writer would wait for ever.
    ::alarm(20);
    EXPECT_NE(get("A").code, ERROR_SUCCESS);
    EXPECT_EQ(set("A", REG_SZ, "x"), ERROR_ACCESS_DENIED);
    ::alarm(0);
    struct stat st {};
    ASSERT_EQ(::lstat(file().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Root reads every file; only an ordinary user meets a settings file it may
// not read. Replacing it would keep the one value saved and lose all others.
TEST_F(Registry_Store, UnreadableFileIsNeverReplaced) {
    ASSERT_EQ(set("Other", REG_SZ, "kept"), ERROR_SUCCESS);
    const std::string before = read_file(file());
    testing::Hand_Over(folder.path());
    ASSERT_EQ(::chmod(file().c_str(), 0), 0);
    struct stat old_file {};
    ASSERT_EQ(::stat(file().c_str(), &old_file), 0);

    auto outcome = testing::Run_Unprivileged([&]() -> std::string {
        if (::access(file().c_str(), R_OK) == 0) return "the file is readable, so nothing is shown";
        std::string wrong;
        if (long code = set("New", REG_SZ, "value"); code != ERROR_ACCESS_DENIED)
            wrong += "saving gave " + std::to_string(code) + "; ";
        Registry_Key key = 0;
        if (long code = Reg_Open_Key(HKEY_CURRENT_USER, Key_Path, key); code != ERROR_ACCESS_DENIED)
            wrong += "opening gave " + std::to_string(code) + "; ";
        if (key != 0) Reg_Close_Key(key);
        return wrong;
    });
    if (outcome.skipped) GTEST_SKIP() << outcome.message;
    EXPECT_EQ(outcome.message, "");

    struct stat now {};
    ASSERT_EQ(::stat(file().c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, old_file.st_ino) << "the file was replaced";
    EXPECT_EQ(now.st_mode & 07777, 0u);
    EXPECT_EQ(read_file(file()), before);
    EXPECT_FALSE(testing::exists(file() + ".tmp"));
}

TEST_F(Registry_Store, UnchangedValuesAreNotRewritten) {
    ASSERT_EQ(set("A", REG_SZ, "same"), ERROR_SUCCESS);
    const std::string before = read_file(file());
    testing::set_mtime(file(), 1000);
    ASSERT_EQ(set("a", REG_SZ, "same"), ERROR_SUCCESS);
    EXPECT_EQ(read_file(file()), before);
    ASSERT_EQ(set("a", REG_SZ, "other"), ERROR_SUCCESS);
    EXPECT_NE(read_file(file()).find("\"A\"=\"other\""), std::string::npos) << "the first spelling of the name stays";
    EXPECT_FALSE(testing::exists(file() + ".tmp"));
}

// Each child process writes its own value count times; returns its pid.
pid_t writer(const std::string& name, int count) {
    pid_t pid = fork();
    if (pid == 0) {
        for (int i = 0; i < count; ++i) {
            Registry_Key key = 0;
            const std::string value = name + std::to_string(i);
            if (Reg_Create_Key(HKEY_CURRENT_USER, Key_Path, key) != ERROR_SUCCESS ||
                Reg_Set_Value(key, name, REG_SZ, reinterpret_cast<const unsigned char*>(value.data()),
                              static_cast<std::uint32_t>(value.size())) != ERROR_SUCCESS)
                _exit(1);
            Reg_Close_Key(key);
        }
        _exit(0);
    }
    return pid;
}

TEST_F(Registry_Store, TwoProcessesSavingAtOnceKeepBothValues) {
    ASSERT_EQ(set("Other", REG_SZ, "kept"), ERROR_SUCCESS);
    const pid_t first = writer("First", 200), second = writer("Second", 200);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    waitpid(second, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(parsed().damaged);
    EXPECT_EQ(get("First").data, std::string("First199\0", 9));
    EXPECT_EQ(get("Second").data, std::string("Second199\0", 10));
    EXPECT_EQ(get("Other").data, std::string("kept\0", 5));
}

TEST_F(Registry_Store, ASaveKilledHalfwayLeavesACompleteFile) {
    ASSERT_EQ(set("Other", REG_SZ, "kept"), ERROR_SUCCESS);
    // Large values make each save long, so the kill mostly lands inside one.
    const std::string big(200000, 'v');
    for (int round = 0; round < 10; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(progress[0]);
            for (int i = 0;; ++i) {
                const std::string value = big + std::to_string(i);
                if (set("Big", REG_SZ, value) != ERROR_SUCCESS) _exit(1);
                (void)!write(progress[1], "x", 1);
            }
        }
        close(progress[1]);
        char ticks[3];
        std::size_t seen = 0;
        while (seen < sizeof ticks) {
            ssize_t got = read(progress[0], ticks, sizeof ticks - seen);
            if (got <= 0) break;
            seen += static_cast<std::size_t>(got);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(progress[0]);
        ASSERT_EQ(seen, sizeof ticks);

        EXPECT_FALSE(parsed().damaged) << "round " << round;
        Stored stored = get("Big", 300000);
        EXPECT_EQ(stored.code, ERROR_SUCCESS);
        EXPECT_EQ(stored.data.compare(0, big.size(), big), 0);
        EXPECT_EQ(get("Other").data, std::string("kept\0", 5));
    }
    // The next save clears what the killed one left.
    ASSERT_EQ(set("Other", REG_SZ, "still"), ERROR_SUCCESS);
    EXPECT_FALSE(testing::exists(file() + ".tmp"));
}

TEST(Registry_Location, UserAndMachineFilesWithoutTheOverride) {
    // The machine-wide file lies in /etc/zentrel: written only where that
    // folder is not there yet, and taken away again.
    const std::string machine_folder = "/etc/zentrel";
    if (::access(machine_folder.c_str(), F_OK) == 0) GTEST_SKIP() << machine_folder << " exists already";
    if (::mkdir(machine_folder.c_str(), 0755) != 0) GTEST_SKIP() << "cannot make " << machine_folder;
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_value = saved ? saved : "";
    const char* saved_override = std::getenv("ZENTREL_REGISTRY_DIR");
    const std::string saved_override_value = saved_override ? saved_override : "";
    unsetenv("ZENTREL_REGISTRY_DIR");
    testing::Temp_Folder config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    auto store = [](Registry_Root root, const std::string& value) {
        Registry_Key key = 0;
        ASSERT_EQ(Reg_Create_Key(root, Key_Path, key), ERROR_SUCCESS);
        const std::string data = value + '\0';
        EXPECT_EQ(Reg_Set_Value(key, "Wo", REG_SZ, reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<std::uint32_t>(data.size())),
                  ERROR_SUCCESS);
        Reg_Close_Key(key);
    };
    store(HKEY_CURRENT_USER, "user");
    store(HKEY_LOCAL_MACHINE, "machine");
    const std::string user_file = testing::read_file(config / "zentrel/HKEY_CURRENT_USER.reg");
    const std::string machine_file = testing::read_file(machine_folder + "/HKEY_LOCAL_MACHINE.reg");
    std::filesystem::remove_all(machine_folder);
    if (saved)
        setenv("XDG_CONFIG_HOME", saved_value.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (saved_override) setenv("ZENTREL_REGISTRY_DIR", saved_override_value.c_str(), 1);
    EXPECT_NE(user_file.find("user"), std::string::npos) << user_file;
    EXPECT_EQ(user_file.find("machine"), std::string::npos) << user_file;
    EXPECT_NE(machine_file.find("machine"), std::string::npos) << machine_file;
    EXPECT_FALSE(testing::exists(config / "zentrel/HKEY_LOCAL_MACHINE.reg"));
}

}  // namespace
}  // namespace zentrel::platform
