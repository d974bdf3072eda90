// A File_System for tests that forwards every call to a wrapped one and can
// make chosen calls fail, because as root (where the tests run) permissions
// cannot produce most failures with real files.
//
//     platform::File_System& real = platform::real_file_system();
//     Faulty_File_System fs(real);
//     fs.fail(Fs_Operation::remove_file, tmp / "a.txt", EACCES);      // always
//     fs.fail_suffix(Fs_Operation::rename, "/x.txt", EXDEV, 1);      // next call only
//     fs.fail_copy_after(tmp / "big.bin", 4096);                      // disk full after 4 KiB
//     fs.before([&](Fs_Operation op, const std::string& path) { ... });  // change the tree mid-run
//     EXPECT_EQ(fs.calls(Fs_Operation::copy_file), 1);
//     fs.clear();
//
// Only the operations that a test makes fail or counts are overridden; all
// others, hold_folders and release_folders, go to the wrapped file system as
// they are. copy_file and get_attributes_in reach the wrapped file system's
// own ways of doing them, as in a real run (Stepwise_File_System puts the
// one-operation-after-another defaults in front where a test needs them).
//
// A rule matches a call when any path the call names matches it: both paths
// of rename, copy_contents and copy_file, the folder and each entry's path
// (folder/name) of get_attributes_in, the entry path of everything else
// (never the target text of create_link). Matching is on the path exactly as
// the caller passes it, either the whole text or its end. When several rules
// match, the one added first applies. A failing call throws
// platform::File_System_Error(error_number, path) without touching the wrapped
// file system, except for the copy faults (after_bytes), which copy first and
// leave a partial destination behind as a full disk or a failing device does.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_wrapper.h"

namespace zentrel::testing {

// One value for each operation a test can make fail or count.
enum class Fs_Operation {
    status,
    read_folder,
    create_folder,
    remove_file,
    rename,
    copy_contents,
    copy_file,
    read_link,
    create_link,
    set_modified,
    set_mode,
    get_attribute,
    set_attribute,
    get_attributes_in,
    remove_attribute,
    get_native_attributes,
    set_native_attributes,
    canonical,
};
inline constexpr int Fs_Operation_Count = static_cast<int>(Fs_Operation::canonical) + 1;

struct Fs_Fault {
    Fs_Operation operation = Fs_Operation::status;
    std::string path;  // the whole path, or its end with match_suffix
    bool match_suffix = false;
    int error_number = EIO;
    int times = -1;  // calls that fail before the rule is spent; -1: every call
    // copy_contents and copy_file only: copy this many bytes (at most the
    // whole file) to the destination, then fail. Without it nothing is written.
    std::optional<std::uint64_t> after_bytes;
};

class Faulty_File_System : public platform::File_System_Wrapper {
public:
    static constexpr int Always = -1;

    using File_System_Wrapper::File_System_Wrapper;

    void add(Fs_Fault fault) { faults_.push_back(std::move(fault)); }
    // operation on exactly path fails with error_number.
    void fail(Fs_Operation operation, const std::string& path, int error_number, int times = Always);
    // operation on any path ending in suffix fails with error_number.
    void fail_suffix(Fs_Operation operation, const std::string& suffix, int error_number, int times = Always);
    // copy_file naming path (source or destination, exactly) writes the
    // first bytes bytes and then fails: ENOSPC by default, like a full disk,
    // or any other errno (EIO for a failing device). A file of at most bytes
    // bytes is copied without a failure, as it would fit on the disk.
    void fail_copy_after(const std::string& path, std::uint64_t bytes, int error_number = ENOSPC, int times = Always);

    // Runs before every call (after its count, before any fault), with the
    // call's first path, for get_attributes_in once with each entry's path;
    // may change the tree. One callback; nullptr removes it.
    void before(std::function<void(Fs_Operation, const std::string&)> callback) { before_ = std::move(callback); }

    // Entries below folder keep their DOS attributes in the file system, as
    // the kernel's vfat answers them through its ioctl (a file never set
    // reads as archive). The real ones are asked elsewhere.
    void keep_native_attributes(const std::string& folder) { native_folder_ = folder + "/"; }
    // The bits kept for path, as the last set_native_attributes left them.
    std::optional<int> native_bits(const std::string& path) const;

    // free_space answers bytes for every path, as a small disk would;
    // nullopt hands it to the wrapped file system again.
    void pretend_free_space(std::optional<std::uint64_t> bytes) { free_space_ = bytes; }

    // Removes every fault and the callback; the call counts stay.
    void clear();
    int calls(Fs_Operation operation) const { return calls_[static_cast<int>(operation)]; }
    void reset_calls();

    std::optional<platform::Entry_Status> status(const std::string& path) override;
    std::vector<platform::Folder_Entry> read_folder(const std::string& path) override;
    void create_folder(const std::string& path) override;
    void remove_file(const std::string& path) override;
    void rename(const std::string& from, const std::string& to, bool replace) override;
    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override;
    platform::Entry_Status copy_file(const std::string& from, const std::string& to,
                                     const std::vector<std::string>& attributes) override;
    std::string read_link(const std::string& path) override;
    void create_link(const std::string& link_target, const std::string& path) override;
    void set_modified(const std::string& path, platform::File_Time time) override;
    void set_mode(const std::string& path, mode_t mode) override;
    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override;
    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override;
    // A fault on the folder fails the whole call; one on an entry is that
    // entry's alone, as a real one is (ENOENT: it is gone, else unreadable).
    std::vector<platform::Entry_Attribute> get_attributes_in(const std::string& folder,
                                                             const std::vector<std::string>& names,
                                                             const std::string& name) override;
    // Counts and fails as copy_file does; a failing unnamed copy leaves
    // nothing behind.
    std::optional<platform::Entry_Status> copy_file_unnamed(const std::string& from, const std::string& to,
                                                            const std::vector<std::string>& attributes) override;
    // A batch whose files are counted and fail as copy_file_unnamed's do; a
    // failing one is left out of the wrapped batch.
    std::unique_ptr<platform::Copy_Batch> start_copy_batch(const std::string& folder) override;
    void remove_attribute(const std::string& path, const std::string& name) override;
    std::optional<int> get_native_attributes(const std::string& path, dev_t device) override;
    bool set_native_attributes(const std::string& path, dev_t device, int attributes) override;
    std::string canonical(const std::string& path) override;
    std::optional<std::uint64_t> free_space(const std::string& path) override {
        return free_space_ ? free_space_ : wrapped().free_space(path);
    }

private:
    struct Hit {
        Fs_Fault fault;
        std::string path;  // the path of the call that matched
    };
    // Counts the call, runs the callback, and returns the first matching live
    // fault (spending one of its times).
    std::optional<Hit> enter(Fs_Operation operation, const std::string& path, const std::string& second = {});
    class Batch;
    // enter(), throwing for a fault that fails the call outright.
    void enter_and_throw(Fs_Operation operation, const std::string& path, const std::string& second = {});
    // The first live fault of operation matching one of paths (empty ones
    // skipped), spending one of its times.
    std::optional<Hit> take_fault(Fs_Operation operation, const std::vector<const std::string*>& paths);
    // For a copy fault with after_bytes, once the copy is made: cuts the
    // destination back to what would have fitted and fails, unless it fits.
    void cut_copy(const Hit& hit, const std::string& to) const;

    std::vector<Fs_Fault> faults_;
    std::function<void(Fs_Operation, const std::string&)> before_;
    int calls_[Fs_Operation_Count] = {};
    std::string native_folder_;
    std::optional<std::uint64_t> free_space_;
    std::map<std::string, int> native_;
};

}  // namespace zentrel::testing
