// What a synchronisation does with one file, from what the two sides hold
// now and what they held when last in step.
#pragma once

#include "platform/sync_record.h"

#include <cstdint>
#include <optional>

namespace zentrel::engine {

enum class Sync_Verdict {
    None,            // not a synchronisation with a record
    Parts_Rules,     // nothing known of the file: newer wins, as without a record
    Copy_Over,       // changed here alone: goes to the other side
    In_Step,         // both sides hold the same
    Changed_There,   // changed on the other side alone: the other pass takes it
    Conflict,        // changed on both sides: both versions are kept
    Deleted_There,   // deleted on the other side, unchanged here: to the trash here
    Deleted_Changed  // deleted on the other side, changed here: a conflict; it stays and goes back
};

// True for the verdicts that make the walk act on the file.
bool Sync_Acts(Sync_Verdict verdict);

struct Sync_Facts {
    platform::Synced_Side here;
    std::optional<platform::Synced_Side> there;
    // The record's entry, "source" being this side.
    std::optional<platform::Synced_File> recorded;
    // The pair has run to the end once: a file without an entry is new since.
    bool record_complete = false;
    // The step in nanoseconds both sides' times are compared at.
    std::int64_t time_step = 1;
    bool sync_deletions = false;
};

// both_changed_alike: In_Step because both sides hold the same size and
// time, although both changed since the record; their contents may differ.
Sync_Verdict Decide_Sync(const Sync_Facts& facts, bool* both_changed_alike = nullptr);

}  // namespace zentrel::engine
