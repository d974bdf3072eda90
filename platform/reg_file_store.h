// Where the registry files live, and reading and rewriting one safely.
#pragma once

#include "platform/reg_file_format.h"
#include "platform/registry_store.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zentrel::platform::reg_file {

struct Location {
    std::string folder;     // created when the first value is written
    std::string path;       // folder + "/HKEY_CURRENT_USER.reg"
    std::string root_name;  // "HKEY_CURRENT_USER"
};

// nullopt for a root this store does not know.
std::optional<Location> location_of(Registry_Root root);

// A larger file is no registry this program wrote: it is not read at all
// (reading and parsing it would hold up every start), and a save replaces it
// like a damaged one.
inline constexpr std::uint64_t Largest_File = 4u << 20;

enum class File_Status {
    Read,        // the document holds what parsed
    Missing,     // no file (or no folder): an empty registry
    Too_Large,   // larger than Largest_File: not read
    Not_A_File,  // a folder, pipe, device or socket where the file belongs
    Unreadable,  // it could not be opened or read (error_number says why)
};

struct Reading {
    File_Status status = File_Status::Missing;
    int error_number = 0;    // Unreadable: the errno
    std::uint32_t mode = 0;  // Not_A_File: st_mode of what is there
    std::uint64_t size = 0;  // Too_Large: its size in bytes
    std::string path;        // the file read, or looked for
};

// The document in the file, and what was found there.
Reading read_document(const Location& location, Document& document);

// The document in the file; a missing file is an empty document and sets
// missing, a file too large an empty damaged one. Returns a Windows error
// code (0 on success).
long load(const Location& location, Document& document, bool& missing);

// Where a save keeps a damaged file before it replaces it.
std::string damaged_copy_of(const Location& location);

// Reads the file under an exclusive lock shared with every other writer,
// lets change alter the document (it returns false when nothing changed,
// and then nothing is written), and replaces the file by a complete new one:
// written beside it, flushed to the disk, renamed over it. A crash or a full
// disk leaves the old file or the new one, never a mix. A file that held
// parts that did not parse is kept as "<file>.damaged" before it is replaced.
// error_number, when given, receives the errno of a failure.
long update(const Location& location, const std::function<bool(Document&)>& change, int* error_number = nullptr);

}  // namespace zentrel::platform::reg_file
