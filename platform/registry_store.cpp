#include "platform/registry_store.h"

#include "platform/reg_file_store.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace zentrel::platform {

namespace {

constexpr long Error_Invalid_Handle = 6;
constexpr long Error_Invalid_Parameter = 87;

struct Open_Key {
    reg_file::Location location;
    std::string path;
};

// Handle n is slot n - 1; closed slots are reused.
class Key_Table {
public:
    Registry_Key open(Open_Key key) {
        std::lock_guard guard(mutex_);
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (!slots_[i]) {
                slots_[i] = std::move(key);
                return i + 1;
            }
        slots_.push_back(std::move(key));
        return slots_.size();
    }
    std::optional<Open_Key> get(Registry_Key handle) const {
        std::lock_guard guard(mutex_);
        if (handle == 0 || handle > slots_.size()) return std::nullopt;
        return slots_[handle - 1];
    }
    bool close(Registry_Key handle) {
        std::lock_guard guard(mutex_);
        if (handle == 0 || handle > slots_.size() || !slots_[handle - 1]) return false;
        slots_[handle - 1].reset();
        return true;
    }
    int count() const {
        std::lock_guard guard(mutex_);
        int open = 0;
        for (const auto& slot : slots_) open += slot.has_value();
        return open;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::optional<Open_Key>> slots_;
};

Key_Table& keys() {
    static Key_Table table;
    return table;
}

// Line breaks would break the line structure of the file.
bool writable_name(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

}  // namespace

long Reg_Open_Key(Registry_Root root, const std::string& key_path, Registry_Key& key) {
    key = 0;
    const auto location = reg_file::location_of(root);
    if (!location) return Error_Invalid_Handle;
    const std::string path = reg_file::normalized_key_path(key_path);
    reg_file::Document document;
    bool missing = false;
    if (long code = reg_file::load(*location, document, missing); code != ERROR_SUCCESS) return code;
    if (!document.exists(path)) return ERROR_FILE_NOT_FOUND;
    key = keys().open({*location, path});
    return ERROR_SUCCESS;
}

long Reg_Query_Value(Registry_Key key, const std::string& value_name, std::uint32_t& type, unsigned char* data,
                     std::uint32_t& length) {
    const auto open = keys().get(key);
    if (!open) return Error_Invalid_Handle;
    reg_file::Document document;
    bool missing = false;
    if (long code = reg_file::load(open->location, document, missing); code != ERROR_SUCCESS) return code;
    const reg_file::Key* stored = document.find(open->path);
    const reg_file::Value* value = stored ? reg_file::find_value(*stored, value_name) : nullptr;
    if (!value) return ERROR_FILE_NOT_FOUND;
    type = value->type;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (!data) {
        length = needed;
        return ERROR_SUCCESS;
    }
    if (length < needed) {
        length = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, value->data.data(), needed);
    length = needed;
    return ERROR_SUCCESS;
}

long Reg_Create_Key(Registry_Root root, const std::string& key_path, Registry_Key& key) {
    key = 0;
    const auto location = reg_file::location_of(root);
    if (!location) return Error_Invalid_Handle;
    if (!writable_name(key_path)) return Error_Invalid_Parameter;
    const std::string path = reg_file::normalized_key_path(key_path);
    reg_file::Document document;
    bool missing = false;
    long code = reg_file::load(*location, document, missing);
    // The key is written at once, so that it exists even if no value follows.
    if (code != ERROR_SUCCESS || !document.find(path)) {
        code = reg_file::update(*location, [&](reg_file::Document& current) {
            if (current.find(path)) return false;
            current.create(path);
            return true;
        });
    }
    if (code != ERROR_SUCCESS) return code;
    key = keys().open({*location, path});
    return ERROR_SUCCESS;
}

long Reg_Set_Value(Registry_Key key, const std::string& value_name, std::uint32_t type, const unsigned char* data,
                   std::uint32_t length) {
    const auto open = keys().get(key);
    if (!open) return Error_Invalid_Handle;
    if (!writable_name(value_name) || (!data && length > 0)) return Error_Invalid_Parameter;
    std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
    // A text is stored with the NUL that ends it, whether or not the caller
    // counted it.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && (bytes.empty() || bytes.back() != '\0')) bytes += '\0';

    return reg_file::update(open->location, [&](reg_file::Document& document) {
        // The key may have been created in a file that has since been replaced.
        reg_file::Key& stored = document.create(open->path);
        const bool added = stored.find(value_name) == nullptr;
        reg_file::Value& value = stored.set(value_name);
        if (!added && value.type == type && value.data == bytes) return false;
        value.type = type;
        value.data = bytes;
        return true;
    });
}

long Reg_Close_Key(Registry_Key key) { return keys().close(key) ? ERROR_SUCCESS : Error_Invalid_Handle; }

int open_registry_keys() { return keys().count(); }

}  // namespace zentrel::platform
