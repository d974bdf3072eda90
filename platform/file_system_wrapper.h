// A File_System that hands every call to another one.
//
// Derive from it to change a few operations and keep all others as the
// wrapped file system has them, its own ways of copying and reading included
// (copy_file, get_attributes_in): a subclass overrides only what it changes.
// Every virtual of File_System is forwarded here; one left out would quietly
// run File_System's default in place of the wrapped implementation.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::platform {

class File_System_Wrapper : public File_System {
public:
    explicit File_System_Wrapper(File_System& wrapped) : wrapped_(&wrapped) {}

    File_System& wrapped() const { return *wrapped_; }

    std::optional<Entry_Status> status(const std::string& path) override { return wrapped_->status(path); }
    std::vector<Folder_Entry> read_folder(const std::string& path) override { return wrapped_->read_folder(path); }
    void create_folder(const std::string& path) override { wrapped_->create_folder(path); }
    void remove_file(const std::string& path) override { wrapped_->remove_file(path); }
    void rename(const std::string& from, const std::string& to, bool replace) override {
        wrapped_->rename(from, to, replace);
    }
    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override {
        wrapped_->copy_contents(from, to, mode);
    }
    Entry_Status copy_file(const std::string& from, const std::string& to,
                           const std::vector<std::string>& attributes) override {
        return wrapped_->copy_file(from, to, attributes);
    }
    std::string read_link(const std::string& path) override { return wrapped_->read_link(path); }
    void create_link(const std::string& link_target, const std::string& path) override {
        wrapped_->create_link(link_target, path);
    }
    void set_modified(const std::string& path, File_Time time) override { wrapped_->set_modified(path, time); }
    void set_mode(const std::string& path, mode_t mode) override { wrapped_->set_mode(path, mode); }
    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override {
        return wrapped_->get_attribute(path, name);
    }
    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override {
        wrapped_->set_attribute(path, name, value);
    }
    std::vector<Entry_Attribute> get_attributes_in(const std::string& folder, const std::vector<std::string>& names,
                                                   const std::string& name) override {
        return wrapped_->get_attributes_in(folder, names, name);
    }
    std::optional<Entry_Status> copy_file_unnamed(const std::string& from, const std::string& to,
                                                  const std::vector<std::string>& attributes) override {
        return wrapped_->copy_file_unnamed(from, to, attributes);
    }
    std::unique_ptr<Copy_Batch> start_copy_batch(const std::string& folder) override {
        return wrapped_->start_copy_batch(folder);
    }
    std::optional<int> get_native_attributes(const std::string& path, dev_t device) override {
        return wrapped_->get_native_attributes(path, device);
    }
    bool set_native_attributes(const std::string& path, dev_t device, int attributes) override {
        return wrapped_->set_native_attributes(path, device, attributes);
    }
    void confine(const std::vector<std::string>& roots) override { wrapped_->confine(roots); }
    void unconfine() override { wrapped_->unconfine(); }
    void remove_attribute(const std::string& path, const std::string& name) override {
        wrapped_->remove_attribute(path, name);
    }
    void hold_folders() override { wrapped_->hold_folders(); }
    void release_folders() override { wrapped_->release_folders(); }
    std::optional<std::uint64_t> free_space(const std::string& path) override { return wrapped_->free_space(path); }
    std::string canonical(const std::string& path) override { return wrapped_->canonical(path); }
    std::shared_ptr<const std::vector<Mount>> mounts() override { return wrapped_->mounts(); }
    Mount mount_of(const std::string& path) override { return wrapped_->mount_of(path); }
    bool is_mount_point(const std::string& path) override { return wrapped_->is_mount_point(path); }
    std::string volume_of(const Mount& mount) override { return wrapped_->volume_of(mount); }
    File_System_Kind kind_of(const std::string& path, dev_t device) override { return wrapped_->kind_of(path, device); }
    File_System_Kind folder_kind(const std::string& folder) override { return wrapped_->folder_kind(folder); }
    void measure_time_step(const std::string& folder) override { wrapped_->measure_time_step(folder); }
    std::optional<std::string> unmounted_storage_above(const std::string& missing_path,
                                                       const Mount_Point_Rules& rules) override {
        return wrapped_->unmounted_storage_above(missing_path, rules);
    }
    bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules) override {
        return wrapped_->is_unmounted_fstab_point(folder, rules);
    }
    std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode) override {
        return wrapped_->lock_folder(path, mode);
    }
    bool being_written(const std::string& path) override { return wrapped_->being_written(path); }

private:
    File_System* wrapped_;
};

}  // namespace zentrel::platform
