// File_System_Wrapper must hand every virtual of File_System to the wrapped
// file system. One it leaves out runs File_System's default in its place (for
// copy_file a copy made step by step through the wrapper, for a pure virtual
// nothing compiles), and every test double derived from the wrapper then
// quietly leaves the path a real run takes.
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/faulty_file_system.h"
#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/file_system_wrapper.h"
#include "platform/mounts.h"

namespace zentrel::platform {
namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ",") + part;
    return text;
}

std::string text_of(const std::optional<std::string>& value) { return value ? *value : "-"; }

// Answers every call with a value of its own and writes down the call with
// its arguments.
class Recording_File_System final : public File_System {
public:
    std::vector<std::string> calls;

    std::optional<Entry_Status> status(const std::string& path) override {
        record("status", {path});
        Entry_Status status;
        status.size = 11;
        return status;
    }
    std::vector<Folder_Entry> read_folder(const std::string& path) override {
        record("read_folder", {path});
        return {{"entry", Entry_Kind::Directory}};
    }
    void create_folder(const std::string& path) override { record("create_folder", {path}); }
    void remove_file(const std::string& path) override { record("remove_file", {path}); }
    void rename(const std::string& from, const std::string& to, bool replace) override {
        record("rename", {from, to, replace ? "replace" : "keep"});
    }
    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override {
        record("copy_contents", {from, to, std::to_string(mode)});
    }
    Entry_Status copy_file(const std::string& from, const std::string& to,
                           const std::vector<std::string>& attributes) override {
        record("copy_file", {from, to, joined(attributes)});
        Entry_Status status;
        status.size = 22;
        return status;
    }
    std::string read_link(const std::string& path) override {
        record("read_link", {path});
        return "link text";
    }
    void create_link(const std::string& link_target, const std::string& path) override {
        record("create_link", {link_target, path});
    }
    void set_modified(const std::string& path, File_Time time) override {
        record("set_modified", {path, std::to_string(time.seconds) + "." + std::to_string(time.nanoseconds)});
    }
    void set_mode(const std::string& path, mode_t mode) override { record("set_mode", {path, std::to_string(mode)}); }
    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override {
        record("get_attribute", {path, name});
        return "value";
    }
    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override {
        record("set_attribute", {path, name, value});
    }
    std::vector<Entry_Attribute> get_attributes_in(const std::string& folder, const std::vector<std::string>& names,
                                                   const std::string& name) override {
        record("get_attributes_in", {folder, joined(names), name});
        return {{"first", false}, {std::nullopt, true}};
    }
    std::optional<Entry_Status> copy_file_unnamed(const std::string& from, const std::string& to,
                                                  const std::vector<std::string>& attributes) override {
        record("copy_file_unnamed", {from, to, joined(attributes)});
        Entry_Status status;
        status.size = 33;
        return status;
    }
    std::unique_ptr<Copy_Batch> start_copy_batch(const std::string& folder) override {
        record("start_copy_batch", {folder});
        struct Batch final : Copy_Batch {
            std::optional<Entry_Status> add(const std::string&, const std::string&,
                                            const std::vector<std::string>&) override {
                return std::nullopt;
            }
            std::vector<int> name_all() override { return {0, EEXIST}; }
        };
        return std::make_unique<Batch>();
    }
    std::optional<int> get_native_attributes(const std::string& path, dev_t device) override {
        record("get_native_attributes", {path, std::to_string(device)});
        return 0x22;
    }
    bool set_native_attributes(const std::string& path, dev_t device, int attributes) override {
        record("set_native_attributes", {path, std::to_string(device), std::to_string(attributes)});
        return true;
    }
    void confine(const std::vector<std::string>& roots) override { record("confine", roots); }
    void unconfine() override { record("unconfine", {}); }
    void remove_attribute(const std::string& path, const std::string& name) override {
        record("remove_attribute", {path, name});
    }
    void hold_folders() override { record("hold_folders", {}); }
    void release_folders() override { record("release_folders", {}); }
    std::optional<std::uint64_t> free_space(const std::string& path) override {
        record("free_space", {path});
        return 44;
    }
    std::string canonical(const std::string& path) override {
        record("canonical", {path});
        return "/canonical";
    }
    std::shared_ptr<const std::vector<Mount>> mounts() override {
        record("mounts", {});
        return std::make_shared<const std::vector<Mount>>(
            std::vector<Mount>{{"/mnt/stick", "vfat", "/dev/sdb1", "", "/"}});
    }
    Mount mount_of(const std::string& path) override {
        record("mount_of", {path});
        return {"/mnt/other", "exfat", "/dev/sdc1", "", "/"};
    }
    bool is_mount_point(const std::string& path) override {
        record("is_mount_point", {path});
        return true;
    }
    std::string volume_of(const Mount& mount) override {
        record("volume_of", {mount.mount_point});
        return "5324-F0BC";
    }
    File_System_Kind kind_of(const std::string& path, dev_t device) override {
        record("kind_of", {path, std::to_string(device)});
        return {"FAT"};
    }
    File_System_Kind folder_kind(const std::string& folder) override {
        record("folder_kind", {folder});
        return {"NTFS"};
    }
    void measure_time_step(const std::string& folder) override { record("measure_time_step", {folder}); }
    std::optional<std::string> unmounted_storage_above(const std::string& missing_path,
                                                       const Mount_Point_Rules& rules) override {
        record("unmounted_storage_above", {missing_path, rules.fstab});
        return "/media/stick";
    }
    bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules) override {
        record("is_unmounted_fstab_point", {folder, rules.fstab});
        return true;
    }
    std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode) override {
        record("lock_folder", {path, mode == Lock_Mode::Exclusive ? "exclusive" : "shared"});
        return nullptr;
    }
    bool being_written(const std::string& path) override {
        record("being_written", {path});
        return false;
    }

private:
    void record(const std::string& method, const std::vector<std::string>& arguments) {
        calls.push_back(method + "(" + joined(arguments) + ")");
    }
};

// One call of a method through the wrapper: what the wrapped file system
// must see, and what must come back from it.
struct Forwarding {
    std::string method;
    std::function<std::string(File_System&)> call;  // the result as text, empty for none
    std::string expected_call;
    std::string expected_result;
};

void PrintTo(const Forwarding& forwarding, std::ostream* out) { *out << forwarding.method; }

const std::vector<Forwarding>& forwardings() {
    static const std::vector<Forwarding> table = {
        {"status", [](File_System& fs) { return std::to_string(fs.status("/a")->size); }, "status(/a)", "11"},
        {"read_folder", [](File_System& fs) { return fs.read_folder("/d").at(0).name; }, "read_folder(/d)", "entry"},
        {"create_folder", [](File_System& fs) { return fs.create_folder("/d"), std::string(); }, "create_folder(/d)",
         ""},
        {"remove_file", [](File_System& fs) { return fs.remove_file("/f"), std::string(); }, "remove_file(/f)", ""},
        {"rename", [](File_System& fs) { return fs.rename("/a", "/b", true), std::string(); }, "rename(/a,/b,replace)",
         ""},
        {"copy_contents", [](File_System& fs) { return fs.copy_contents("/a", "/b", 0640), std::string(); },
         "copy_contents(/a,/b,416)", ""},
        {"copy_file",
         [](File_System& fs) {
             return std::to_string(fs.copy_file("/a", "/b", {"user.x", "user.y"}).size);
         },
         "copy_file(/a,/b,user.x,user.y)", "22"},
        {"read_link", [](File_System& fs) { return fs.read_link("/l"); }, "read_link(/l)", "link text"},
        {"create_link", [](File_System& fs) { return fs.create_link("../t", "/l"), std::string(); },
         "create_link(../t,/l)", ""},
        {"set_modified",
         [](File_System& fs) {
             return fs.set_modified("/f", File_Time{5, 6}), std::string();
         },
         "set_modified(/f,5.6)", ""},
        {"set_mode", [](File_System& fs) { return fs.set_mode("/f", 0755), std::string(); }, "set_mode(/f,493)", ""},
        {"get_attribute", [](File_System& fs) { return text_of(fs.get_attribute("/f", "user.x")); },
         "get_attribute(/f,user.x)", "value"},
        {"set_attribute", [](File_System& fs) { return fs.set_attribute("/f", "user.x", "v"), std::string(); },
         "set_attribute(/f,user.x,v)", ""},
        {"get_attributes_in",
         [](File_System& fs) {
             auto values = fs.get_attributes_in("/d", {"a", "b"}, "user.x");
             std::vector<std::string> texts;
             for (const Entry_Attribute& value : values)
                 texts.push_back(value.vanished ? "gone" : text_of(value.value));
             return joined(texts);
         },
         "get_attributes_in(/d,a,b,user.x)", "first,gone"},
        {"copy_file_unnamed",
         [](File_System& fs) { return std::to_string(fs.copy_file_unnamed("/a", "/b", {"user.x"})->size); },
         "copy_file_unnamed(/a,/b,user.x)", "33"},
        {"start_copy_batch",
         [](File_System& fs) {
             std::vector<std::string> named;
             for (int result : fs.start_copy_batch("/d")->name_all()) named.push_back(std::to_string(result));
             return joined(named);
         },
         "start_copy_batch(/d)", "0," + std::to_string(EEXIST)},
        {"get_native_attributes", [](File_System& fs) { return std::to_string(*fs.get_native_attributes("/f", 7)); },
         "get_native_attributes(/f,7)", "34"},
        {"set_native_attributes",
         [](File_System& fs) { return fs.set_native_attributes("/f", 7, 1) ? "set" : "kept none"; },
         "set_native_attributes(/f,7,1)", "set"},
        {"confine",
         [](File_System& fs) {
             return fs.confine({"/q", "/z"}), std::string();
         },
         "confine(/q,/z)", ""},
        {"unconfine", [](File_System& fs) { return fs.unconfine(), std::string(); }, "unconfine()", ""},
        {"remove_attribute", [](File_System& fs) { return fs.remove_attribute("/f", "user.x"), std::string(); },
         "remove_attribute(/f,user.x)", ""},
        {"hold_folders", [](File_System& fs) { return fs.hold_folders(), std::string(); }, "hold_folders()", ""},
        {"release_folders", [](File_System& fs) { return fs.release_folders(), std::string(); }, "release_folders()",
         ""},
        {"free_space", [](File_System& fs) { return std::to_string(*fs.free_space("/d")); }, "free_space(/d)", "44"},
        {"canonical", [](File_System& fs) { return fs.canonical("x/.."); }, "canonical(x/..)", "/canonical"},
        {"mounts", [](File_System& fs) { return fs.mounts()->at(0).mount_point; }, "mounts()", "/mnt/stick"},
        {"mount_of", [](File_System& fs) { return fs.mount_of("/f").mount_point; }, "mount_of(/f)", "/mnt/other"},
        {"is_mount_point", [](File_System& fs) { return fs.is_mount_point("/d") ? "yes" : "no"; }, "is_mount_point(/d)",
         "yes"},
        {"volume_of",
         [](File_System& fs) {
             return fs.volume_of({"/mnt/stick", "vfat", "/dev/sdb1", "8:17", "/"});
         },
         "volume_of(/mnt/stick)", "5324-F0BC"},
        {"kind_of", [](File_System& fs) { return fs.kind_of("/f", 7).name; }, "kind_of(/f,7)", "FAT"},
        {"folder_kind", [](File_System& fs) { return fs.folder_kind("/d").name; }, "folder_kind(/d)", "NTFS"},
        {"measure_time_step", [](File_System& fs) { return fs.measure_time_step("/d"), std::string(); },
         "measure_time_step(/d)", ""},
        {"unmounted_storage_above",
         [](File_System& fs) { return text_of(fs.unmounted_storage_above("/m/x", Mount_Point_Rules{"/etc/tab"})); },
         "unmounted_storage_above(/m/x,/etc/tab)", "/media/stick"},
        {"is_unmounted_fstab_point",
         [](File_System& fs) {
             return fs.is_unmounted_fstab_point("/m", Mount_Point_Rules{"/etc/tab"}) ? "yes" : "no";
         },
         "is_unmounted_fstab_point(/m,/etc/tab)", "yes"},
        {"lock_folder", [](File_System& fs) { return fs.lock_folder("/d", Lock_Mode::Exclusive) ? "held" : "taken"; },
         "lock_folder(/d,exclusive)", "taken"},
        {"being_written", [](File_System& fs) { return fs.being_written("/f") ? "yes" : "no"; }, "being_written(/f)",
         "no"},
    };
    return table;
}

// The names of the virtual functions File_System declares, read from its
// header, so that one added there is known here without anyone listing it.
std::vector<std::string> declared_virtuals() {
    std::ifstream in(ZENTREL_SOURCE_DIR "/platform/file_system.h");
    std::stringstream text;
    text << in.rdbuf();
    std::string source = std::regex_replace(text.str(), std::regex("//[^\n]*"), "");
    auto begin = source.find("class File_System {");
    auto end = source.find("\n};", begin);
    if (begin == std::string::npos || end == std::string::npos) return {};
    source = source.substr(begin, end - begin);

    std::vector<std::string> names;
    const std::regex declaration(R"(virtual\s+[^;{}()]*?(~?\w+)\s*\()");
    for (std::sregex_iterator it(source.begin(), source.end(), declaration), done; it != done; ++it) {
        std::string name = (*it)[1];
        if (!name.starts_with('~')) names.push_back(name);
    }
    return names;
}

TEST(File_System_Wrapper_Test, EveryVirtualOfTheInterfaceIsCheckedForForwarding) {
    std::vector<std::string> declared = declared_virtuals();
    ASSERT_FALSE(declared.empty()) << "the virtuals of File_System could not be read from its header";
    std::vector<std::string> checked;
    for (const Forwarding& forwarding : forwardings()) checked.push_back(forwarding.method);
    std::sort(declared.begin(), declared.end());
    std::sort(checked.begin(), checked.end());

    std::vector<std::string> unchecked, stale;
    std::set_difference(declared.begin(), declared.end(), checked.begin(), checked.end(),
                        std::back_inserter(unchecked));
    std::set_difference(checked.begin(), checked.end(), declared.begin(), declared.end(), std::back_inserter(stale));
    for (const std::string& method : unchecked)
        ADD_FAILURE() << "File_System::" << method
                      << " is not checked: forward it in File_System_Wrapper, record it in Recording_File_System "
                         "and add a call of it to forwardings()";
    for (const std::string& method : stale)
        ADD_FAILURE() << "forwardings() checks " << method << ", which File_System does not declare";
}

class Forwarding_Test : public ::testing::TestWithParam<Forwarding> {};

// The fault-injecting file system of the tests too: without a fault, every
// call must reach the real file system as it is, or the tests leave the path
// a real run takes.
TEST_P(Forwarding_Test, ReachesTheWrappedFileSystemWithItsArgumentsAndResult) {
    const Forwarding& forwarding = GetParam();
    for (const std::string wrapper_name : {"File_System_Wrapper", "Faulty_File_System"}) {
        SCOPED_TRACE(wrapper_name);
        Recording_File_System recorder;
        std::unique_ptr<File_System> wrapper;
        if (wrapper_name == "File_System_Wrapper")
            wrapper = std::make_unique<File_System_Wrapper>(recorder);
        else
            wrapper = std::make_unique<testing::Faulty_File_System>(recorder);
        std::string result;
        try {
            result = forwarding.call(*wrapper);
        } catch (const std::exception& error) {
            ADD_FAILURE() << wrapper_name << "::" << forwarding.method
                          << " did not reach the wrapped file system: " << error.what();
            continue;
        }
        EXPECT_EQ(recorder.calls, std::vector<std::string>{forwarding.expected_call})
            << wrapper_name << "::" << forwarding.method << " does not forward its call as it is";
        EXPECT_EQ(result, forwarding.expected_result)
            << wrapper_name << "::" << forwarding.method << " does not pass the result back";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, Forwarding_Test, ::testing::ValuesIn(forwardings()),
                         [](const ::testing::TestParamInfo<Forwarding>& info) { return info.param.method; });

}  // namespace
}  // namespace zentrel::platform
