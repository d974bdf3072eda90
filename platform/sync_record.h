// What two folders kept in step held after their last synchronisation, per
// file, so that a later one tells "changed here" from "changed there". One
// SQLite database per user ($XDG_STATE_HOME/zentrel/sync-record.sqlite, by
// default below ~/.local/state), never inside the user's folders; a pair of
// folders is known by the identity of each (platform/folder_identity.h), so
// that a renamed mount point or a moved folder never meets another pair's
// record, and a stick plugged in again meets its own.
#pragma once

#include "platform/file_system.h"
#include "platform/folder_identity.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace zentrel::platform {

// What one side held of a file.
struct Synced_Side {
    std::uint64_t size = 0;
    File_Time modified;
    friend bool operator==(const Synced_Side&, const Synced_Side&) = default;
};

// A file as both sides held it when they were last in step; "source" and
// "target" are the folders as the record was opened.
struct Synced_File {
    Synced_Side source, target;
    friend bool operator==(const Synced_File&, const Synced_File&) = default;
};

// A record that cannot be read or written (damaged, read-only, full disk).
class Sync_Record_Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The record of one pair. Entries are written in batches, a transaction
// at most about a tenth of a second long, so that a run pays for a few
// commits a second, not one a file. A run killed at any moment leaves a
// record that is right for every file it holds, or lags behind: an entry
// its last batch would have made or changed is missing or older. A later
// run takes such a file as unknown or changed on both sides, and copies it
// or keeps both versions; a deletion needs an entry that the side still
// holding the file matches, and forget is never left pending. Every call
// may throw Sync_Record_Error.
class Sync_Record {
public:
    // Writes what is pending, as commit does.
    virtual ~Sync_Record() = default;
    // True once a synchronisation of the pair has run to its end: a file
    // without an entry is then new since.
    virtual bool complete() const = 0;
    virtual std::optional<Synced_File> find(const std::string& relative) = 0;
    virtual void put(const std::string& relative, const Synced_File& file) = 0;
    // Gone from the file when it returns.
    virtual void forget(const std::string& relative) = 0;
    // Writes what is pending, and the pair as in step, at once.
    virtual void mark_complete() = 0;
    // Writes what is pending and ends the batch, at the end of a run. A
    // batch that is due ends by itself, also while the run waits for the
    // user or a long copy, so that another run writing the file never
    // waits on it longer.
    virtual void commit() = 0;
};

// $XDG_STATE_HOME/zentrel/sync-record.sqlite.
std::string sync_record_file();

struct Opened_Sync_Record {
    // Nothing when the pair runs without a record.
    std::unique_ptr<Sync_Record> record;
    // Why the pair runs without its record, or with a new one in place of a
    // damaged file; empty when all is well (a pair never synchronised
    // before included).
    std::string problem;
};

// Opens (read_only: only reads, never makes) the record of the pair source
// and target in file; source_path and target_path are where each was seen
// (Identified_Folder::seen_at). A damaged file is kept aside as file.damaged and
// begun anew. A second process that writes the file meanwhile is waited
// for a while; never throws.
Opened_Sync_Record open_sync_record(const std::string& file, const Folder_Identity& source,
                                    const Folder_Identity& target, const std::string& source_path,
                                    const std::string& target_path, bool read_only = false);

// Removes the pair's record; true when there was one. Throws
// Sync_Record_Error when the file cannot be changed.
bool forget_sync_record(const std::string& file, const Folder_Identity& source, const Folder_Identity& target);

}  // namespace zentrel::platform
