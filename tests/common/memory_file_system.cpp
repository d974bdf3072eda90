#include "common/memory_file_system.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <ctime>
#include <functional>
#include <utility>

#include "platform/file_objects.h"

namespace zentrel::testing {

using platform::Entry_Kind;
using platform::File_System_Error;
using platform::File_Time;

namespace {

constexpr std::int64_t Second = 1'000'000'000;
constexpr int Most_Links = 40;  // as the kernel's ELOOP limit

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        at = end + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) path += "/" + name;
    return path.empty() ? "/" : path;
}

File_Time clock_now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return {now.tv_sec, now.tv_nsec};
}

}  // namespace

Memory_Volume Memory_Volume::fat() {
    Memory_Volume volume;
    volume.type = "vfat";
    volume.kind = {"FAT", 2 * Second, true, true, false};
    volume.keeps_attributes = false;
    volume.uuid = "5324-F0BC";
    return volume;
}

Memory_Volume Memory_Volume::whole_seconds() {
    Memory_Volume volume;
    volume.type = "ext2";
    volume.kind = {"ext", Second};
    volume.uuid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    return volume;
}

struct Memory_File_System::Node {
    Entry_Kind kind = Entry_Kind::Regular;
    std::string contents;  // a file's bytes, a link's text
    mode_t mode = 0;
    File_Time modified;
    File_Time changed;
    dev_t device = 0;
    ino_t inode = 0;
    std::map<std::string, std::string> attributes;
    std::map<std::string, std::shared_ptr<Node>> children;  // by the spelling each was made with
};

// Where a path leads: the folder that holds its last name, that name as
// given, and the entry under it (none when there is none yet). A path that
// ends in a folder without a name of its own ("/", "a/..") has no parent.
struct Memory_File_System::Place {
    Node* parent = nullptr;
    std::string name;
    std::string key;  // the entry's name as it was made
    Node* node = nullptr;
    std::vector<std::string> real;  // the path's names, links resolved
};

struct Memory_File_System::Locks {
    std::mutex mutex;
    std::map<ino_t, std::pair<int, int>> held;  // exclusive, shared
};

namespace {

class Memory_Lock final : public platform::Folder_Lock {
public:
    Memory_Lock(std::shared_ptr<Memory_File_System::Locks> locks, ino_t inode, bool exclusive)
        : locks_(std::move(locks)), inode_(inode), exclusive_(exclusive) {}
    ~Memory_Lock() override {
        std::lock_guard lock(locks_->mutex);
        auto& [exclusive, shared] = locks_->held[inode_];
        --(exclusive_ ? exclusive : shared);
    }
    Memory_Lock(const Memory_Lock&) = delete;
    Memory_Lock& operator=(const Memory_Lock&) = delete;

private:
    std::shared_ptr<Memory_File_System::Locks> locks_;
    ino_t inode_;
    bool exclusive_;
};

}  // namespace

Memory_File_System::Memory_File_System() : locks_(std::make_shared<Locks>()) {
    volumes_[1] = Memory_Volume{};
    root_ = make_node(1, Entry_Kind::Directory, 0755);
    mounts_ = std::make_shared<const std::vector<platform::Mount>>(
        std::vector<platform::Mount>{{"/", "memory", "memory", "0:1", "/"}});
}

Memory_File_System::~Memory_File_System() = default;

const Memory_Volume& Memory_File_System::volume_of(dev_t device) const { return volumes_.at(device); }

std::shared_ptr<Memory_File_System::Node> Memory_File_System::make_node(dev_t device, Entry_Kind kind, mode_t mode) {
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->mode = mode & 07777;
    node->device = device;
    node->inode = next_inode_++;
    node->changed = clock_now();
    node->modified = platform::truncated_time(node->changed, volume_of(device).kind.time_step);
    return node;
}

Memory_File_System::Place Memory_File_System::place_of(const std::string& path, bool follow_last) {
    if (path.empty() || path[0] != '/') throw File_System_Error(ENOENT, path);
    std::vector<std::string> todo = split(path);
    for (int links = 0;;) {
        std::vector<Node*> chain{root_.get()};
        std::vector<std::string> names;
        bool restarted = false;
        for (std::size_t i = 0; i < todo.size() && !restarted; ++i) {
            const std::string& part = todo[i];
            if (part == "..") {
                if (chain.size() > 1) chain.pop_back(), names.pop_back();
                continue;
            }
            Node& folder = *chain.back();
            if (folder.kind != Entry_Kind::Directory) throw File_System_Error(ENOTDIR, path);
            const bool last = i + 1 == todo.size();
            auto found = folder.children.find(part);
            if (found == folder.children.end() && volume_of(folder.device).kind.ignores_case) {
                const std::string folded = platform::case_folded(part);
                for (auto it = folder.children.begin(); it != folder.children.end(); ++it)
                    if (platform::case_folded(it->first) == folded) found = it;
            }
            if (found == folder.children.end()) {
                if (!last) throw File_System_Error(ENOENT, path);
                names.push_back(part);
                return {&folder, part, {}, nullptr, names};
            }
            Node* node = found->second.get();
            if (node->kind == Entry_Kind::Symlink && (!last || follow_last)) {
                if (++links > Most_Links) throw File_System_Error(ELOOP, path);
                std::vector<std::string> next = node->contents.starts_with('/') ? std::vector<std::string>{} : names;
                for (std::string& name : split(node->contents)) next.push_back(std::move(name));
                next.insert(next.end(), todo.begin() + static_cast<std::ptrdiff_t>(i) + 1, todo.end());
                todo = std::move(next);
                restarted = true;
                continue;
            }
            names.push_back(part);
            if (last) return {&folder, part, found->first, node, names};
            chain.push_back(node);
        }
        if (!restarted) return {nullptr, {}, {}, chain.back(), names};
    }
}

Memory_File_System::Node& Memory_File_System::existing(const std::string& path, bool follow_last) {
    Place place = place_of(path, follow_last);
    if (!place.node) throw File_System_Error(ENOENT, path);
    return *place.node;
}

Memory_File_System::Node& Memory_File_System::new_entry(const std::string& path, std::shared_ptr<Node> node) {
    Place place = place_of(path, false);
    if (place.node || !place.parent) throw File_System_Error(EEXIST, path);
    const Memory_Volume& volume = volume_of(place.parent->device);
    if (!platform::refused_name_reason(volume.kind, place.name).empty()) throw File_System_Error(EINVAL, path);
    place.parent->changed = clock_now();
    place.parent->modified = platform::truncated_time(place.parent->changed, volume.kind.time_step);
    return *(place.parent->children[place.name] = std::move(node));
}

void Memory_File_System::mount(const std::string& folder, const Memory_Volume& volume) {
    std::lock_guard lock(mutex_);
    Place place = place_of(folder, true);
    if (!place.node || !place.parent || place.node->kind != Entry_Kind::Directory || !place.node->children.empty())
        throw File_System_Error(EINVAL, folder);
    const dev_t device = volumes_.rbegin()->first + 1;
    volumes_[device] = volume;
    place.parent->children[place.key] = make_node(device, Entry_Kind::Directory, 0755);
    auto mounts = *mounts_;
    mounts.push_back({joined(place.real), volume.type, "memory",
                      std::to_string(major(device)) + ":" + std::to_string(minor(device)), "/"});
    mounts_ = std::make_shared<const std::vector<platform::Mount>>(std::move(mounts));
}

void Memory_File_System::plug_in_again(const std::string& folder) {
    std::lock_guard lock(mutex_);
    Node& top = existing(folder, true);
    const dev_t before = top.device;
    const dev_t after = volumes_.rbegin()->first + 1;
    volumes_[after] = volumes_.at(before);
    volumes_.erase(before);
    const std::string kind = volumes_[after].kind.name;
    const bool new_inodes = kind == "FAT" || kind == "exFAT";
    std::function<void(Node&)> renumber = [&](Node& node) {
        if (node.device != before) return;
        node.device = after;
        if (new_inodes) node.inode = next_inode_++;
        for (auto& [name, child] : node.children) renumber(*child);
    };
    renumber(top);
    auto mounts = *mounts_;
    const std::string device_text = std::to_string(major(before)) + ":" + std::to_string(minor(before));
    for (platform::Mount& mount : mounts)
        if (mount.device == device_text)
            mount.device = std::to_string(major(after)) + ":" + std::to_string(minor(after));
    mounts_ = std::make_shared<const std::vector<platform::Mount>>(std::move(mounts));
}

std::string Memory_File_System::volume_of(const platform::Mount& mount) {
    std::lock_guard lock(mutex_);
    for (const auto& [device, volume] : volumes_)
        if (mount.device == std::to_string(major(device)) + ":" + std::to_string(minor(device))) return volume.uuid;
    return {};
}

void Memory_File_System::make_folders(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::string prefix;
    for (const std::string& name : split(path)) {
        prefix += "/" + name;
        if (!status(prefix)) create_folder(prefix);
    }
}

void Memory_File_System::write_file(const std::string& path, const std::string& contents) {
    std::lock_guard lock(mutex_);
    make_folders(path.substr(0, path.find_last_of('/')));
    Place place = place_of(path, true);
    Node& node = place.node ? *place.node : new_entry(path, make_node(place.parent->device, Entry_Kind::Regular, 0644));
    if (node.kind != Entry_Kind::Regular) throw File_System_Error(EISDIR, path);
    node.contents = contents;
    node.changed = clock_now();
    node.modified = platform::truncated_time(node.changed, volume_of(node.device).kind.time_step);
}

std::string Memory_File_System::contents(const std::string& path) {
    std::lock_guard lock(mutex_);
    const Node& node = existing(path, true);
    if (node.kind != Entry_Kind::Regular) throw File_System_Error(EISDIR, path);
    return node.contents;
}

std::optional<platform::Entry_Status> Memory_File_System::status(const std::string& path) {
    std::lock_guard lock(mutex_);
    Place place;
    try {
        place = place_of(path, false);
    } catch (const File_System_Error& error) {
        if (error.error_number() == ENOENT || error.error_number() == ENOTDIR) return std::nullopt;
        throw;
    }
    if (!place.node) return std::nullopt;
    const Node& node = *place.node;
    platform::Entry_Status status;
    status.kind = node.kind;
    status.size = node.kind == Entry_Kind::Directory ? 4096 : node.contents.size();
    status.modified = node.modified;
    status.mode = node.mode;
    status.device = node.device;
    status.inode = node.inode;
    status.changed = node.changed;
    return status;
}

std::vector<platform::Folder_Entry> Memory_File_System::read_folder(const std::string& path) {
    std::lock_guard lock(mutex_);
    const Node& folder = existing(path, true);
    if (folder.kind != Entry_Kind::Directory) throw File_System_Error(ENOTDIR, path);
    std::vector<platform::Folder_Entry> entries;
    for (const auto& [name, node] : folder.children) entries.push_back({name, node->kind});
    return entries;
}

void Memory_File_System::create_folder(const std::string& path) {
    std::lock_guard lock(mutex_);
    Place place = place_of(path, false);
    if (!place.parent) throw File_System_Error(EEXIST, path);
    new_entry(path, make_node(place.parent->device, Entry_Kind::Directory, 0755));
}

void Memory_File_System::remove_file(const std::string& path) {
    std::lock_guard lock(mutex_);
    Place place = place_of(path, false);
    if (!place.node) throw File_System_Error(ENOENT, path);
    if (place.node->kind == Entry_Kind::Directory) throw File_System_Error(EISDIR, path);
    place.parent->children.erase(place.key);
    place.parent->changed = clock_now();
}

void Memory_File_System::rename(const std::string& from, const std::string& to, bool replace) {
    std::lock_guard lock(mutex_);
    Place source = place_of(from, false);
    if (!source.node) throw File_System_Error(ENOENT, from);
    Place target = place_of(to, false);
    if (!source.parent || !target.parent) throw File_System_Error(EBUSY, to);
    if (target.parent->device != source.node->device) throw File_System_Error(EXDEV, to);
    std::shared_ptr<Node> moved = source.parent->children.at(source.key);
    std::string name = target.name;
    if (target.node == source.node) {
        // The same entry: on a volume that ignores case, a new spelling.
        source.parent->children.erase(source.key);
    } else if (target.node) {
        if (!replace) throw File_System_Error(EEXIST, to);
        if (target.node->kind == Entry_Kind::Directory) {
            if (moved->kind != Entry_Kind::Directory) throw File_System_Error(EISDIR, to);
            if (!target.node->children.empty()) throw File_System_Error(ENOTEMPTY, to);
        } else if (moved->kind == Entry_Kind::Directory) {
            throw File_System_Error(ENOTDIR, to);
        }
        // The replaced entry keeps its spelling, as FAT keeps its slot.
        name = target.key;
        source.parent->children.erase(source.key);
    } else {
        if (!platform::refused_name_reason(volume_of(target.parent->device).kind, name).empty())
            throw File_System_Error(EINVAL, to);
        source.parent->children.erase(source.key);
    }
    target.parent->children[name] = moved;
    moved->changed = source.parent->changed = target.parent->changed = clock_now();
}

void Memory_File_System::copy_contents(const std::string& from, const std::string& to, mode_t mode) {
    std::lock_guard lock(mutex_);
    const Node& source = existing(from, true);
    if (source.kind == Entry_Kind::Directory) throw File_System_Error(EISDIR, from);
    Place place = place_of(to, false);
    if (!place.parent) throw File_System_Error(EEXIST, to);
    auto copy = make_node(place.parent->device, Entry_Kind::Regular, mode);
    copy->contents = source.contents;
    new_entry(to, std::move(copy));
}

std::string Memory_File_System::read_link(const std::string& path) {
    std::lock_guard lock(mutex_);
    const Node& node = existing(path, false);
    if (node.kind != Entry_Kind::Symlink) throw File_System_Error(EINVAL, path);
    return node.contents;
}

void Memory_File_System::create_link(const std::string& link_target, const std::string& path) {
    std::lock_guard lock(mutex_);
    Place place = place_of(path, false);
    if (!place.parent) throw File_System_Error(EEXIST, path);
    if (!volume_of(place.parent->device).kind.holds_links) throw File_System_Error(EPERM, path);
    auto link = make_node(place.parent->device, Entry_Kind::Symlink, 0777);
    link->contents = link_target;
    new_entry(path, std::move(link));
}

void Memory_File_System::set_modified(const std::string& path, File_Time time) {
    std::lock_guard lock(mutex_);
    Node& node = existing(path, false);
    node.modified = platform::truncated_time(time, volume_of(node.device).kind.time_step);
    node.changed = clock_now();
}

void Memory_File_System::set_mode(const std::string& path, mode_t mode) {
    std::lock_guard lock(mutex_);
    Node& node = existing(path, true);
    node.mode = mode & 07777;
    node.changed = clock_now();
}

std::optional<std::string> Memory_File_System::get_attribute(const std::string& path, const std::string& name) {
    std::lock_guard lock(mutex_);
    const Node& node = existing(path, false);
    if (!volume_of(node.device).keeps_attributes) return std::nullopt;
    auto found = node.attributes.find(name);
    if (found == node.attributes.end()) return std::nullopt;
    return found->second;
}

void Memory_File_System::set_attribute(const std::string& path, const std::string& name, const std::string& value) {
    std::lock_guard lock(mutex_);
    Node& node = existing(path, false);
    if (!volume_of(node.device).keeps_attributes) throw File_System_Error(ENOTSUP, path);
    node.attributes[name] = value;
    node.changed = clock_now();
}

void Memory_File_System::remove_attribute(const std::string& path, const std::string& name) {
    std::lock_guard lock(mutex_);
    Node& node = existing(path, false);
    if (node.attributes.erase(name) != 0) node.changed = clock_now();
}

std::string Memory_File_System::canonical(const std::string& path) {
    std::lock_guard lock(mutex_);
    const std::string absolute = path.starts_with('/') ? path : "/" + path;
    // The longest leading part that is there, links resolved; the rest by
    // its spelling alone.
    std::string head = absolute;
    std::string rest;
    for (;;) {
        try {
            Place place = place_of(head.empty() ? "/" : head, true);
            if (place.node)
                return platform::normalize_path(rest.empty() ? joined(place.real) : joined(place.real) + "/" + rest);
        } catch (const File_System_Error&) {
        }
        const auto slash = head.find_last_of('/');
        if (slash == std::string::npos || head.empty()) return platform::normalize_path(absolute);
        const std::string last = head.substr(slash + 1);
        rest = rest.empty() ? last : last + "/" + rest;
        head.resize(slash);
    }
}

std::shared_ptr<const std::vector<platform::Mount>> Memory_File_System::mounts() {
    std::lock_guard lock(mutex_);
    return mounts_;
}

platform::File_System_Kind Memory_File_System::kind_of(const std::string& /*path*/, dev_t device) {
    std::lock_guard lock(mutex_);
    auto found = volumes_.find(device);
    return found == volumes_.end() ? platform::File_System_Kind{} : found->second.kind;
}

std::unique_ptr<platform::Folder_Lock> Memory_File_System::lock_folder(const std::string& path,
                                                                       platform::Lock_Mode mode) {
    std::lock_guard lock(mutex_);
    Node* folder = nullptr;
    try {
        folder = place_of(path, true).node;
    } catch (const File_System_Error&) {
    }
    if (!folder || folder->kind != Entry_Kind::Directory) return std::make_unique<platform::Folder_Lock>();
    const bool exclusive = mode == platform::Lock_Mode::Exclusive;
    std::lock_guard held(locks_->mutex);
    auto& [exclusive_holders, shared_holders] = locks_->held[folder->inode];
    if (exclusive_holders > 0 || (exclusive && shared_holders > 0)) return nullptr;
    ++(exclusive ? exclusive_holders : shared_holders);
    return std::make_unique<Memory_Lock>(locks_, folder->inode, exclusive);
}

// A copy is made whole within one call: none is ever left being written.
bool Memory_File_System::being_written(const std::string& /*path*/) { return false; }

}  // namespace zentrel::testing
