#include "support/support_routines.h"

#include <cerrno>

namespace zentrel::support {

namespace {

// The kernel reads a path only up to its first NUL byte, so "/a\0b" would
// be looked up, and created, as "/a".
bool holds_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

constexpr const char* Root = "/";

}  // namespace

std::optional<platform::Folder> Support_Routines::Find_Folder(const std::string& Path) const {
    if (Path.empty() || holds_nul(Path)) return std::nullopt;
    try {
        return objects_.Look_Up_Folder(Path);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<platform::File> Support_Routines::Find_File(const std::string& Path) const {
    if (Path.empty() || holds_nul(Path)) return std::nullopt;
    try {
        return objects_.Look_Up_File(Path);
    } catch (...) {
        return std::nullopt;
    }
}

bool Support_Routines::Make_Folder(std::string Path) {
    if (Path.empty()) return false;
    if (holds_nul(Path)) throw platform::File_System_Error(EINVAL, Path);
    // The normal form (absolute, no "//", ".", ".." or trailing separator,
    // "/" kept) is what the file objects use too, and it lets the levels
    // below be taken one name at a time.
    Path = platform::normalize_path(Path);

    // The nearest folder that exists. "/" has no parent by Filepath's rule
    // ("/a" has the empty text before its separator), so the root is named
    // explicitly.
    std::string current = Path;
    while (!Find_Folder(current)) {
        if (current == Root) return false;
        current = Filepath(current, false);
        if (current.empty()) current = Root;
    }

    // Names compare byte for byte: two names that differ only in case are two
    // folders here.
    const std::string wanted = Trailing_Backslash(Path, false);
    while (Trailing_Backslash(current, false) != wanted) {
        // The next name starts right behind current's separator; for the root,
        // whose text already ends in it, one further on, which is still inside
        // that name as no name is empty.
        const auto next = Path.find(Separator, current.size() + 1);
        current = next == std::string::npos ? Path : Path.substr(0, next);
        // A file (or a link that leads to no folder) holding the name: the
        // rest of the path lies below something that is no folder. Said so
        // directly, as mkdir -p does, rather than "File exists".
        if (Find_File(current)) throw platform::File_System_Error(ENOTDIR, current);
        try {
            objects_.CreateFolder(current);
        } catch (const platform::File_System_Error& error) {
            // Made by another program in the moment between the look and
            // ours (a second run starting into the same new target): there
            // it is, as mkdir -p takes it.
            if (error.error_number() != EEXIST || !Find_Folder(current)) throw;
        }
        if (!Find_Folder(current)) {
            Show_Message("Fehler beim Anlegen von Verzeichnis '" + current + "'");
            return false;
        }
    }
    return true;
}

}  // namespace zentrel::support
