// Where the registry files live, and reading and rewriting one safely.
#pragma once

#include "platform/reg_file_format.h"
#include "platform/registry_store.h"

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

// The document in the file; a missing file is an empty document and sets
// missing. Returns a Windows error code (0 on success).
long load(const Location& location, Document& document, bool& missing);

// Reads the file under an exclusive lock shared with every other writer,
// lets change alter the document (it returns false when nothing changed,
// and then nothing is written), and replaces the file by a complete new one:
// written beside it, flushed to the disk, renamed over it. A crash or a full
// disk leaves the old file or the new one, never a mix. A file that held
// parts that did not parse is kept as "<file>.damaged" before it is replaced.
long update(const Location& location, const std::function<bool(Document&)>& change);

}  // namespace zentrel::platform::reg_file
