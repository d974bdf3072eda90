#include "engine/sync_decisions.h"

#include "platform/file_system_kind.h"

namespace zentrel::engine {

namespace {

bool same(const platform::Synced_Side& a, const platform::Synced_Side& b, std::int64_t step) {
    return a.size == b.size && platform::truncated_time(a.modified, step) == platform::truncated_time(b.modified, step);
}

}  // namespace

bool Sync_Acts(Sync_Verdict verdict) {
    return verdict == Sync_Verdict::Copy_Over || verdict == Sync_Verdict::Conflict ||
           verdict == Sync_Verdict::Deleted_There || verdict == Sync_Verdict::Deleted_Changed;
}

Sync_Verdict Decide_Sync(const Sync_Facts& facts, bool* both_changed_alike) {
    if (both_changed_alike) *both_changed_alike = false;
    const std::int64_t step = facts.time_step;
    const bool alike = facts.there && same(facts.here, *facts.there, step);
    if (!facts.recorded) {
        if (alike) return Sync_Verdict::In_Step;
        // New on both sides since a synchronisation that ran to its end,
        // each with its own content.
        if (facts.record_complete && facts.there) return Sync_Verdict::Conflict;
        return Sync_Verdict::Parts_Rules;
    }
    const bool here_changed = !same(facts.here, facts.recorded->source, step);
    if (!facts.there) {
        // Without --sync-deletions a deleted file comes back, as always.
        if (!facts.sync_deletions) return Sync_Verdict::Parts_Rules;
        return here_changed ? Sync_Verdict::Deleted_Changed : Sync_Verdict::Deleted_There;
    }
    const bool there_changed = !same(*facts.there, facts.recorded->target, step);
    if (alike) {
        if (both_changed_alike) *both_changed_alike = here_changed && there_changed;
        return Sync_Verdict::In_Step;
    }
    if (here_changed && there_changed) return Sync_Verdict::Conflict;
    if (here_changed) return Sync_Verdict::Copy_Over;
    if (there_changed) return Sync_Verdict::Changed_There;
    // Neither changed, and yet they differ: a record that does not fit.
    return Sync_Verdict::Parts_Rules;
}

}  // namespace zentrel::engine
