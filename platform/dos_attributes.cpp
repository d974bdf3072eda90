#include "platform/dos_attributes.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/file_objects.h"
#include "platform/file_system_kind.h"
#include "platform/time_steps.h"

namespace zentrel::platform {

namespace {

constexpr int Stored_Bits =
    Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Directory | Attribute_Archive;
// Samba's XATTR_DOSINFO_ATTRIB: the attribute field of the binary form is valid.
constexpr std::uint32_t Attrib_Valid = 0x1;

std::optional<int> parse_hex_text(const std::string& bytes) {
    // "0x" and hex digits, up to a NUL or the end.
    auto end = bytes.find('\0');
    std::string_view text(bytes.data(), end == std::string::npos ? bytes.size() : end);
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    std::uint32_t value = 0;
    auto [stop, error] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
    return static_cast<int>(value & Stored_Bits);
}

bool read_u16(const std::string& bytes, size_t offset, std::uint16_t& value) {
    if (offset + 2 > bytes.size()) return false;
    value = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                       static_cast<unsigned char>(bytes[offset + 1]) << 8);
    return true;
}

bool read_u32(const std::string& bytes, size_t offset, std::uint32_t& value) {
    if (offset + 4 > bytes.size()) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return true;
}

size_t align(size_t offset, size_t to) { return (offset + to - 1) / to * to; }

// Samba's NDR form: a NUL-terminated text (empty since version 4), the
// version as a 16-bit number, the union level again, then the version's
// structure aligned to 4 bytes.
std::optional<int> parse_binary(const std::string& bytes) {
    auto nul = bytes.find('\0');
    if (nul == std::string::npos) return std::nullopt;
    size_t offset = align(nul + 1, 2);
    std::uint16_t version = 0, level = 0;
    if (!read_u16(bytes, offset, version) || !read_u16(bytes, offset + 2, level) || level != version)
        return std::nullopt;
    size_t body = align(offset + 4, 4);
    std::uint32_t flags = 0, attributes = 0;
    switch (version) {
        case 0xFFFF:
        case 1:
            if (!read_u32(bytes, body, attributes)) return std::nullopt;
            break;
        case 2:
            if (!read_u32(bytes, body + 4, attributes)) return std::nullopt;
            break;
        case 3:
        case 4:
        case 5:
            if (!read_u32(bytes, body, flags) || !read_u32(bytes, body + 4, attributes)) return std::nullopt;
            if (!(flags & Attrib_Valid)) return std::nullopt;
            break;
        default:
            return std::nullopt;
    }
    return static_cast<int>(attributes & Stored_Bits);
}

std::string base_name(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string time_text(File_Time time) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(time.seconds),
                  static_cast<long long>(time.nanoseconds));
    return text;
}

// The archive state of a file whose stored bits say archive is clear: clear
// until the file's modification time moves away from the one recorded when
// it was cleared. Without a record (Samba cleared it) it stays clear.
bool modified_since_archive_cleared(File_System& fs, const std::string& path, const Entry_Status& status) {
    auto recorded = fs.get_attribute(path, Archive_Time_Name);
    if (!recorded || *recorded == time_text(status.modified)) return false;
    // A copy brings the record along, through file systems that may keep
    // coarser times than the one it was made on: the record's time cut down
    // as some file system keeps times is still the same time.
    const std::size_t dot = recorded->find('.');
    if (dot == std::string::npos || recorded->size() != dot + 10) return true;
    char* end = nullptr;
    const File_Time time{std::strtoll(recorded->c_str(), &end, 10),
                         std::strtoll(recorded->c_str() + dot + 1, nullptr, 10)};
    if (end != recorded->c_str() + dot) return true;
    return !time_step_shown(time, status.modified).has_value();
}

[[noreturn]] void no_attribute_storage(const std::string& path, const Entry_Status& status) {
    if (status.kind == Entry_Kind::Symlink)
        throw File_System_Error(
            "Eine symbolische Verknüpfung kann die Attribute versteckt, System und Archiv nicht speichern", path);
    throw File_System_Error(
        "Das Dateisystem kann die Attribute versteckt, System und Archiv nicht speichern (keine erweiterten Attribute)",
        path);
}

void store_attribute(File_System& fs, const std::string& path, const Entry_Status& status, const std::string& name,
                     const std::string& value) {
    try {
        fs.set_attribute(path, name, value);
    } catch (const File_System_Error& error) {
        int number = error.error_number();
        if (not_kept_by_file_system(number) || (number == EPERM && status.kind == Entry_Kind::Symlink))
            no_attribute_storage(path, status);
        throw;
    }
}

}  // namespace

std::string dosattrib_text(int attributes) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(attributes));
    return text;
}

std::optional<int> parse_dosattrib(const std::string& bytes) {
    // Text first: Samba's version 3 begins with the text and reads it from there.
    if (auto text = parse_hex_text(bytes)) return text;
    if (bytes.size() >= 2 && bytes[0] == '0' && (bytes[1] == 'x' || bytes[1] == 'X')) return std::nullopt;
    return parse_binary(bytes);
}

int read_dos_attributes(File_System& fs, const std::string& path, const Entry_Status& status) {
    if (auto native = fs.get_native_attributes(path, status.device))
        return dos_attributes_from(fs, path, status, dosattrib_text(*native));
    return dos_attributes_from(fs, path, status, fs.get_attribute(path, Dos_Attribute_Name));
}

int dos_attributes_from(File_System& fs, const std::string& path, const Entry_Status& status,
                        const std::optional<std::string>& stored_bytes) {
    int attributes = 0;
    if (status.kind == Entry_Kind::Directory) attributes |= Attribute_Directory;
    if (base_name(path).starts_with('.')) attributes |= Attribute_Hidden;
    // A link's own mode is always 0777; it is never read-only by its mode.
    if (status.kind != Entry_Kind::Symlink && !(status.mode & S_IWUSR)) attributes |= Attribute_Read_Only;

    std::optional<int> stored;
    if (stored_bytes) stored = parse_dosattrib(*stored_bytes);
    if (!stored) return attributes | Attribute_Archive;

    attributes |= *stored & (Attribute_Read_Only | Attribute_Hidden | Attribute_System);
    if ((*stored & Attribute_Archive) || modified_since_archive_cleared(fs, path, status))
        attributes |= Attribute_Archive;
    return attributes;
}

namespace {

// Where the file system keeps the bits itself, they go there; the mode
// follows read-only where the file system keeps one, and Samba's stored
// value, where a copy brought one along, is kept in step.
void write_native(File_System& fs, const std::string& path, const Entry_Status& status, int wanted) {
    const bool read_only = wanted & Attribute_Read_Only;
    mode_t mode = read_only ? (status.mode & ~mode_t{0222}) : (status.mode | S_IWUSR);
    auto set_mode = [&] {
        try {
            fs.set_mode(path, mode);
        } catch (const File_System_Error& error) {
            if (!mode_not_kept_by_file_system(error.error_number())) throw;
        }
    };
    if (mode != status.mode && !read_only) set_mode();
    // NTFS sets the bit itself at every write, and Windows would show a
    // record of ours as a stream of the file: nothing is added there.
    const bool sets_archive_itself = fs.kind_of(path, status.device).native == Native_Attributes::Ntfs_Xattr;
    if (!(wanted & Attribute_Archive) && !sets_archive_itself) {
        // Recorded where the file system can, so that a write by a program
        // that leaves the bit alone still counts as a change.
        try {
            fs.set_attribute(path, Archive_Time_Name, time_text(status.modified));
        } catch (const File_System_Error& error) {
            if (!not_kept_by_file_system(error.error_number())) throw;
        }
    } else if (wanted & Attribute_Archive) {
        fs.remove_attribute(path, Archive_Time_Name);
    }
    if (fs.get_attribute(path, Dos_Attribute_Name)) fs.set_attribute(path, Dos_Attribute_Name, dosattrib_text(wanted));
    fs.set_native_attributes(path, status.device, wanted);
    if (mode != status.mode && read_only) set_mode();
}

}  // namespace

void write_dos_attributes(File_System& fs, const std::string& path, const Entry_Status& status, int attributes) {
    if (status.kind != Entry_Kind::Symlink && fs.get_native_attributes(path, status.device)) {
        write_native(fs, path, status,
                     attributes & (Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Archive));
        return;
    }
    const bool read_only = attributes & Attribute_Read_Only;
    const bool archive = attributes & Attribute_Archive;
    const int wanted = attributes & (Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Archive);

    std::optional<int> stored;
    if (auto bytes = fs.get_attribute(path, Dos_Attribute_Name)) stored = parse_dosattrib(*bytes);
    // Without a stored value a file reads as archive set and not hidden or
    // system, so only these need one. Read-only goes into the mode, which
    // every file system keeps, and into the stored bit for Samba, which
    // reads only that; where nothing can be stored the mode alone will do.
    const bool needs_store = stored || (attributes & (Attribute_Hidden | Attribute_System)) || !archive;
    const bool is_link = status.kind == Entry_Kind::Symlink;

    mode_t mode = status.mode;
    if (!is_link) mode = read_only ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
    const bool mode_changes = !is_link && mode != status.mode;
    if (is_link && read_only) no_attribute_storage(path, status);

    // An owner without write permission cannot change extended attributes:
    // make the file writable before, and read-only after writing them.
    if (mode_changes && !read_only) fs.set_mode(path, mode);
    if (needs_store) {
        if (!archive) {
            // Recorded first: should the next write fail, a record without a
            // cleared bit changes nothing.
            store_attribute(fs, path, status, Archive_Time_Name, time_text(status.modified));
        }
        if (!stored || (*stored & ~Attribute_Directory) != wanted)
            store_attribute(fs, path, status, Dos_Attribute_Name, dosattrib_text(wanted));
        if (archive) fs.remove_attribute(path, Archive_Time_Name);
    } else if (read_only && !is_link) {
        try {
            fs.set_attribute(path, Dos_Attribute_Name, dosattrib_text(wanted));
        } catch (const File_System_Error& error) {
            if (error.error_number() != ENOTSUP) throw;
        }
    }
    if (mode_changes && read_only) fs.set_mode(path, mode);
}

std::optional<std::string> dosattrib_without_archive(const std::string& bytes) {
    if (!parse_dosattrib(bytes)) return std::nullopt;
    const auto nul = bytes.find('\0');
    const std::string text = bytes.substr(0, nul);
    std::string new_text = text;
    if (!text.empty()) {
        // Every bit of the text but archive stays, also those we do not know.
        std::uint32_t value = 0;
        std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
        new_text = dosattrib_text(static_cast<int>(value & ~std::uint32_t{Attribute_Archive}));
    }
    if (nul == std::string::npos) return new_text;

    const size_t offset = align(nul + 1, 2);
    std::uint16_t version = 0, level = 0;
    if (!read_u16(bytes, offset, version) || !read_u16(bytes, offset + 2, level) || level != version)
        return new_text + bytes.substr(nul);  // the text with its NUL and whatever followed it
    // The binary block's attribute field; version 3 carries it beside its text.
    const size_t body = align(offset + 4, 4);
    const size_t field = (version == 1 || version == 0xFFFF) ? body : body + 4;
    std::string block = bytes;
    if (field < block.size()) block[field] = static_cast<char>(block[field] & ~Attribute_Archive);
    if (new_text.size() == text.size()) return block.replace(0, text.size(), new_text);
    // A shorter or longer text moves the block to its new alignment.
    std::string moved = new_text;
    moved.resize(align(new_text.size() + 1, 2), '\0');
    moved.append(block, offset, 4);
    moved.resize(align(moved.size(), 4), '\0');
    moved.append(block, body);
    return moved;
}

bool clear_archive_bit(File_System& fs, const std::string& path, const Entry_Status& copied) {
    const auto now = fs.status(path);
    if (!now || now->kind != Entry_Kind::Regular) return false;
    if (now->size != copied.size || now->modified != copied.modified || now->changed != copied.changed) return false;
    // FAT and NTFS keep the bit in the file system itself: only it changes.
    if (auto native = fs.get_native_attributes(path, now->device)) {
        write_native(fs, path, *now,
                     *native & (Attribute_Read_Only | Attribute_Hidden | Attribute_System) & ~Attribute_Archive);
        return true;
    }
    std::string value = dosattrib_text(0);
    if (auto bytes = fs.get_attribute(path, Dos_Attribute_Name)) {
        // Bytes in no known form read as archive set; the text replaces them.
        if (auto cleared = dosattrib_without_archive(*bytes)) value = std::move(*cleared);
    }
    // Recorded first: should the next write fail, a record without a
    // cleared bit changes nothing.
    store_attribute(fs, path, *now, Archive_Time_Name, time_text(now->modified));
    store_attribute(fs, path, *now, Dos_Attribute_Name, value);
    return true;
}

void carry_dos_attributes(File_System& fs, const std::string& from, const Entry_Status& from_status,
                          const std::string& to, const File_System_Kind& to_kind) {
    if (from_status.kind == Entry_Kind::Symlink) return;
    // Decided by the two file systems' kinds, without a look at the copy:
    // this runs for every file copied.
    if (fs.kind_of(from, from_status.device).native == Native_Attributes::None &&
        to_kind.native == Native_Attributes::None)
        return;
    auto to_status = fs.status(to);
    if (!to_status) throw File_System_Error(ENOENT, to);
    const bool from_native = fs.get_native_attributes(from, from_status.device).has_value();
    const auto to_native = fs.get_native_attributes(to, to_status->device);
    if (!from_native && !to_native) return;  // the extended attributes went with the copy
    const int wanted = read_dos_attributes(fs, from, from_status) &
                       (Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Archive);
    const int now = read_dos_attributes(fs, to, *to_status) &
                    (Attribute_Read_Only | Attribute_Hidden | Attribute_System | Attribute_Archive);
    if (wanted != now) write_dos_attributes(fs, to, *to_status, wanted);
}

}  // namespace zentrel::platform
