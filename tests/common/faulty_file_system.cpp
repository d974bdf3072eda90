#include "common/faulty_file_system.h"

#include "platform/file_objects.h"

#include <unistd.h>

#include <cerrno>

namespace zentrel::testing {

namespace {

bool matches(const Fs_Fault& fault, const std::string& path) {
    if (!fault.match_suffix) return path == fault.path;
    return path.size() >= fault.path.size() &&
           path.compare(path.size() - fault.path.size(), fault.path.size(), fault.path) == 0;
}

}  // namespace

void Faulty_File_System::fail(Fs_Operation operation, const std::string& path, int error_number, int times) {
    add({.operation = operation,
         .path = path,
         .match_suffix = false,
         .error_number = error_number,
         .times = times,
         .after_bytes = std::nullopt});
}

void Faulty_File_System::fail_suffix(Fs_Operation operation, const std::string& suffix, int error_number, int times) {
    add({.operation = operation,
         .path = suffix,
         .match_suffix = true,
         .error_number = error_number,
         .times = times,
         .after_bytes = std::nullopt});
}

void Faulty_File_System::fail_copy_after(const std::string& path, std::uint64_t bytes, int error_number, int times) {
    add({.operation = Fs_Operation::copy_file,
         .path = path,
         .match_suffix = false,
         .error_number = error_number,
         .times = times,
         .after_bytes = bytes});
}

void Faulty_File_System::clear() {
    faults_.clear();
    before_ = nullptr;
}

void Faulty_File_System::reset_calls() {
    for (int& count : calls_) count = 0;
}

std::optional<Faulty_File_System::Hit> Faulty_File_System::enter(Fs_Operation operation, const std::string& path,
                                                                 const std::string& second) {
    ++calls_[static_cast<int>(operation)];
    if (before_) before_(operation, path);
    return take_fault(operation, {&path, &second});
}

std::optional<Faulty_File_System::Hit> Faulty_File_System::take_fault(Fs_Operation operation,
                                                                      const std::vector<const std::string*>& paths) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->operation != operation || it->times == 0) continue;
        for (const std::string* path : paths) {
            if (path->empty() || !matches(*it, *path)) continue;
            if (it->times > 0) --it->times;
            return Hit{*it, *path};
        }
    }
    return std::nullopt;
}

void Faulty_File_System::cut_copy(const Hit& hit, const std::string& to) const {
    // A full disk takes what fits and then refuses the rest: the copy is
    // made, then cut back to what would have fitted.
    auto copied = wrapped().status(to);
    std::uint64_t limit = *hit.fault.after_bytes;
    if (!copied || copied->size <= limit) return;
    if (::truncate(to.c_str(), static_cast<off_t>(limit)) != 0) throw platform::File_System_Error(errno, to);
    throw platform::File_System_Error(hit.fault.error_number, to);
}

void Faulty_File_System::enter_and_throw(Fs_Operation operation, const std::string& path, const std::string& second) {
    if (auto hit = enter(operation, path, second))
        throw platform::File_System_Error(hit->fault.error_number, hit->path);
}

std::optional<platform::Entry_Status> Faulty_File_System::status(const std::string& path) {
    enter_and_throw(Fs_Operation::status, path);
    return wrapped().status(path);
}

std::vector<platform::Folder_Entry> Faulty_File_System::read_folder(const std::string& path) {
    enter_and_throw(Fs_Operation::read_folder, path);
    return wrapped().read_folder(path);
}

void Faulty_File_System::create_folder(const std::string& path) {
    enter_and_throw(Fs_Operation::create_folder, path);
    wrapped().create_folder(path);
}

void Faulty_File_System::remove_file(const std::string& path) {
    enter_and_throw(Fs_Operation::remove_file, path);
    wrapped().remove_file(path);
}

void Faulty_File_System::rename(const std::string& from, const std::string& to, bool replace) {
    enter_and_throw(Fs_Operation::rename, from, to);
    wrapped().rename(from, to, replace);
}

void Faulty_File_System::copy_contents(const std::string& from, const std::string& to, mode_t mode) {
    auto hit = enter(Fs_Operation::copy_contents, from, to);
    if (hit && !hit->fault.after_bytes) throw platform::File_System_Error(hit->fault.error_number, hit->path);
    wrapped().copy_contents(from, to, mode);
    if (hit) cut_copy(*hit, to);
}

platform::Entry_Status Faulty_File_System::copy_file(const std::string& from, const std::string& to,
                                                     const std::vector<std::string>& attributes) {
    auto hit = enter(Fs_Operation::copy_file, from, to);
    if (hit && !hit->fault.after_bytes) throw platform::File_System_Error(hit->fault.error_number, hit->path);
    auto source = wrapped().copy_file(from, to, attributes);
    if (hit) cut_copy(*hit, to);
    return source;
}

std::string Faulty_File_System::read_link(const std::string& path) {
    enter_and_throw(Fs_Operation::read_link, path);
    return wrapped().read_link(path);
}

void Faulty_File_System::create_link(const std::string& link_target, const std::string& path) {
    enter_and_throw(Fs_Operation::create_link, path);
    wrapped().create_link(link_target, path);
}

void Faulty_File_System::set_modified(const std::string& path, platform::File_Time time) {
    enter_and_throw(Fs_Operation::set_modified, path);
    wrapped().set_modified(path, time);
}

void Faulty_File_System::set_mode(const std::string& path, mode_t mode) {
    enter_and_throw(Fs_Operation::set_mode, path);
    wrapped().set_mode(path, mode);
}

std::optional<std::string> Faulty_File_System::get_attribute(const std::string& path, const std::string& name) {
    enter_and_throw(Fs_Operation::get_attribute, path);
    return wrapped().get_attribute(path, name);
}

void Faulty_File_System::set_attribute(const std::string& path, const std::string& name, const std::string& value) {
    enter_and_throw(Fs_Operation::set_attribute, path);
    wrapped().set_attribute(path, name, value);
}

std::vector<platform::Entry_Attribute> Faulty_File_System::get_attributes_in(const std::string& folder,
                                                                             const std::vector<std::string>& names,
                                                                             const std::string& name) {
    ++calls_[static_cast<int>(Fs_Operation::get_attributes_in)];
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    std::vector<std::string> entry_paths;
    entry_paths.reserve(names.size());
    for (const std::string& entry : names) entry_paths.push_back(prefix + entry);
    if (before_)
        for (const std::string& path : entry_paths) before_(Fs_Operation::get_attributes_in, path);
    std::vector<const std::string*> paths{&folder};
    for (const std::string& path : entry_paths) paths.push_back(&path);
    auto hit = take_fault(Fs_Operation::get_attributes_in, paths);
    if (hit && hit->path == folder) throw platform::File_System_Error(hit->fault.error_number, hit->path);
    auto values = wrapped().get_attributes_in(folder, names, name);
    if (hit) {
        for (std::size_t i = 0; i < entry_paths.size() && i < values.size(); ++i) {
            if (entry_paths[i] != hit->path) continue;
            values[i].value.reset();
            values[i].vanished = hit->fault.error_number == ENOENT;
        }
    }
    return values;
}

std::optional<platform::Entry_Status> Faulty_File_System::copy_file_unnamed(
    const std::string& from, const std::string& to, const std::vector<std::string>& attributes) {
    auto hit = enter(Fs_Operation::copy_file, from, to);
    if (hit && !hit->fault.after_bytes) throw platform::File_System_Error(hit->fault.error_number, hit->path);
    auto made = wrapped().copy_file_unnamed(from, to, attributes);
    if (!made) {
        // Not made: the caller copies by copy_file, which counts itself.
        --calls_[static_cast<int>(Fs_Operation::copy_file)];
        return made;
    }
    // A full disk takes no unnamed file that does not fit: nothing is left.
    if (hit && made->size > *hit->fault.after_bytes) {
        wrapped().remove_file(to);
        throw platform::File_System_Error(hit->fault.error_number, to);
    }
    return made;
}

class Faulty_File_System::Batch final : public platform::Copy_Batch {
public:
    Batch(Faulty_File_System& fs, std::unique_ptr<platform::Copy_Batch> wrapped)
        : fs_(fs), wrapped_(std::move(wrapped)) {}

    std::optional<platform::Entry_Status> add(const std::string& from, const std::string& to,
                                              const std::vector<std::string>& attributes) override {
        auto hit = fs_.enter(Fs_Operation::copy_file, from, to);
        if (hit && !hit->fault.after_bytes) throw platform::File_System_Error(hit->fault.error_number, hit->path);
        // A full disk takes no unnamed file that does not fit: nothing is built.
        if (hit) {
            const auto source = fs_.wrapped().status(from);
            if (source && source->size > *hit->fault.after_bytes)
                throw platform::File_System_Error(hit->fault.error_number, to);
        }
        auto made = wrapped_->add(from, to, attributes);
        // Not made: the caller copies on its own, which counts itself.
        if (!made) --fs_.calls_[static_cast<int>(Fs_Operation::copy_file)];
        return made;
    }
    std::vector<int> name_all() override { return wrapped_->name_all(); }

private:
    Faulty_File_System& fs_;
    std::unique_ptr<platform::Copy_Batch> wrapped_;
};

std::unique_ptr<platform::Copy_Batch> Faulty_File_System::start_copy_batch(const std::string& folder) {
    auto wrapped = File_System_Wrapper::start_copy_batch(folder);
    if (!wrapped) return nullptr;
    return std::make_unique<Batch>(*this, std::move(wrapped));
}

void Faulty_File_System::remove_attribute(const std::string& path, const std::string& name) {
    enter_and_throw(Fs_Operation::remove_attribute, path);
    wrapped().remove_attribute(path, name);
}

std::optional<int> Faulty_File_System::native_bits(const std::string& path) const {
    auto found = native_.find(path);
    if (found == native_.end()) return std::nullopt;
    return found->second;
}

std::optional<int> Faulty_File_System::get_native_attributes(const std::string& path, dev_t device) {
    enter_and_throw(Fs_Operation::get_native_attributes, path);
    if (native_folder_.empty() || !(path + "/").starts_with(native_folder_))
        return wrapped().get_native_attributes(path, device);
    if (!wrapped().status(path)) throw platform::File_System_Error(ENOENT, path);
    return native_bits(path).value_or(platform::Attribute_Archive);
}

bool Faulty_File_System::set_native_attributes(const std::string& path, dev_t device, int attributes) {
    enter_and_throw(Fs_Operation::set_native_attributes, path);
    if (native_folder_.empty() || !(path + "/").starts_with(native_folder_))
        return wrapped().set_native_attributes(path, device, attributes);
    if (!wrapped().status(path)) throw platform::File_System_Error(ENOENT, path);
    native_[path] = attributes;
    return true;
}

std::string Faulty_File_System::canonical(const std::string& path) {
    enter_and_throw(Fs_Operation::canonical, path);
    return wrapped().canonical(path);
}

}  // namespace zentrel::testing
