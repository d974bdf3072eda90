// A synchronisation with its record of the last one: which side changed,
// conflicts kept on both sides, deletions into the trash.
#include "engine/copy_job.h"

#include "platform/content_compare.h"
#include "platform/file_system_kind.h"
#include "platform/folder_identity.h"
#include "platform/sync_record.h"
#include "platform/trash.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <utility>

namespace zentrel::engine {

struct Copy_Job::Sync_Session {
    std::unique_ptr<platform::Sync_Record> record;
    bool read_only = false;
    // Why the run works without its record, said once after it.
    std::string problem;
    // Names that tell the two sides apart in a conflict copy's name.
    std::string source_label, target_label;
    // The roots as normalised at the start, each ending in a separator.
    std::string source_root, target_root;
    // A preview's conflicts of the first pass, which the run would have
    // settled before the second pass looks.
    std::set<std::string> previewed_conflicts;
};

namespace {

std::string folder_name(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == support::Separator) trimmed.pop_back();
    const auto slash = trimmed.rfind(support::Separator);
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// "Bericht (Konflikt 2026-12-08 14-03, Laptop).txt": the version's own
// time, and the side it came from.
std::string conflict_name(const std::string& name, platform::File_Time modified, const std::string& side, int number) {
    const auto dot = name.rfind('.');
    const bool extension = dot != std::string::npos && dot > 0;
    const std::time_t seconds = static_cast<std::time_t>(modified.seconds);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H-%M", &local);
    std::string label = side;
    if (number > 1) label += " " + std::to_string(number);
    return (extension ? name.substr(0, dot) : name) + " (Konflikt " + date + ", " + label + ")" +
           (extension ? name.substr(dot) : "");
}

platform::Synced_Side side_of(const platform::File& file) { return {file.Size(), file.Modified_Time()}; }

}  // namespace

void Copy_Job::Open_Sync_Record(const platform::Folder& Source, const platform::Folder& Target) {
    sync_ = std::make_shared<Sync_Session>();
    sync_->read_only = preview_;
    sync_->source_root = support::Trailing_Backslash(Source.Path(), false);
    sync_->target_root = support::Trailing_Backslash(Target.Path(), false);
    sync_->source_label = folder_name(Source.Path());
    sync_->target_label = folder_name(Target.Path());
    if (sync_->source_label == sync_->target_label) {
        sync_->source_label = "Quelle";
        sync_->target_label = "Ziel";
    }
    const std::string file = Sync_Record_File.empty() ? platform::sync_record_file() : Sync_Record_File;
    platform::File_System& fs = support_->file_system();
    const platform::Identified_Folder source = platform::identify_folder(fs, Source.Path(), Source.Status());
    const platform::Identified_Folder target = platform::identify_folder(fs, Target.Path(), Target.Status());
    platform::Opened_Sync_Record opened =
        platform::open_sync_record(file, source.identity, target.identity, source.seen_at, target.seen_at, preview_);
    sync_->record = std::move(opened.record);
    sync_->problem = std::move(opened.problem);
}

void Copy_Job::Drop_Sync_Record(const std::string& Why) {
    if (!sync_) return;
    sync_->record.reset();
    if (sync_->problem.empty()) sync_->problem = Why;
}

void Copy_Job::Close_Sync_Record(bool Completed) {
    if (!sync_) return;
    if (Completed && sync_->record && !sync_->read_only) {
        try {
            sync_->record->mark_complete();
        } catch (const std::exception& failure) {
            Drop_Sync_Record(failure.what());
        }
    }
    // Said when the last entries cannot be written either.
    if (sync_->record) {
        try {
            sync_->record->commit();
        } catch (const platform::Sync_Record_Error& failure) {
            Drop_Sync_Record(failure.what());
        }
    }
    const std::string problem = std::move(sync_->problem);
    sync_.reset();
    sync_verdict_ = Sync_Verdict::None;
    if (!problem.empty()) events_->Sync_Record_Unused(problem);
}

Sync_Verdict Copy_Job::Sync_Test(const platform::File& SFile, const std::optional<platform::File>& Target) {
    if (!sync_->record || SFile.Is_Link() || (Target && Target->Is_Link())) return Sync_Verdict::Parts_Rules;
    const std::string& here_root = state_->Reverse_Direction ? sync_->target_root : sync_->source_root;
    const std::string& there_root = state_->Reverse_Direction ? sync_->source_root : sync_->target_root;
    if (!SFile.Path().starts_with(here_root)) return Sync_Verdict::Parts_Rules;
    try {
        Sync_Facts facts;
        facts.here = side_of(SFile);
        if (Target) facts.there = side_of(*Target);
        const std::string relative = SFile.Path().substr(here_root.size());
        facts.recorded = sync_->record->find(relative);
        if (facts.recorded && state_->Reverse_Direction) std::swap(facts.recorded->source, facts.recorded->target);
        facts.record_complete = sync_->record->complete();
        facts.time_step = Target ? std::max(Time_Step(SFile), Time_Step(*Target)) : Time_Step(SFile);
        facts.sync_deletions = options_now()->Sync_Deletions != 0;
        bool changed_alike = false;
        Sync_Verdict verdict = Decide_Sync(facts, &changed_alike);
        if (verdict == Sync_Verdict::Deleted_There || verdict == Sync_Verdict::Deleted_Changed) {
            // Gone means gone: a file its folder does not let us see, or a
            // side that is no longer there as a whole, is nothing deleted.
            const std::string there = tested_target_.path;
            try {
                platform::File_System& fs = support_->file_system();
                if (fs.status(there) || !support_->Find_Folder(there_root)) return Sync_Verdict::Parts_Rules;
            } catch (...) {
                return Sync_Verdict::Parts_Rules;
            }
        }
        if (verdict == Sync_Verdict::In_Step && changed_alike &&
            platform::contents_differ(SFile.Path(), Target->Path()))
            verdict = Sync_Verdict::Conflict;
        if (verdict == Sync_Verdict::Conflict && preview_) {
            if (!state_->Reverse_Direction)
                sync_->previewed_conflicts.insert(relative);
            else if (sync_->previewed_conflicts.contains(relative))
                return Sync_Verdict::In_Step;
        }
        if (verdict == Sync_Verdict::In_Step && !sync_->read_only) {
            platform::Synced_File now{facts.here, *facts.there};
            if (!facts.recorded || !(*facts.recorded == now)) Record_In_Step(SFile, *Target);
        }
        return verdict;
    } catch (const platform::Sync_Record_Error& failure) {
        Drop_Sync_Record(failure.what());
        return Sync_Verdict::Parts_Rules;
    }
}

void Copy_Job::Record_In_Step(const platform::File& Here, const platform::File& There) {
    if (!sync_ || !sync_->record || sync_->read_only) return;
    const std::string& here_root = state_->Reverse_Direction ? sync_->target_root : sync_->source_root;
    if (!Here.Path().starts_with(here_root)) return;
    platform::Synced_File entry{side_of(Here), side_of(There)};
    if (state_->Reverse_Direction) std::swap(entry.source, entry.target);
    try {
        sync_->record->put(Here.Path().substr(here_root.size()), entry);
    } catch (const platform::Sync_Record_Error& failure) {
        Drop_Sync_Record(failure.what());
    }
}

bool Copy_Job::Carry_Out_Sync(std::optional<platform::File>& SFile, const std::string& Target, bool& Ignore_All,
                              bool& Abort) {
    const Sync_Verdict verdict = sync_verdict_;
    if (verdict == Sync_Verdict::Deleted_There) return Trash_Deleted_There(SFile->Path());
    if (verdict == Sync_Verdict::Conflict) {
        std::optional<platform::File> there = support_->Find_File(Target);
        if (there) return Keep_Both_Versions(*SFile, Target, Ignore_All, Abort);
    }
    if (verdict == Sync_Verdict::Deleted_Changed) {
        List_Error({.trouble = Copy_Trouble::Deleted_There_Changed_Here, .path = SFile->Path()});
        Increment_Counter(state_->Outcome.conflicts);
    }
    const bool copied = Copy_File(SFile, Target, Ignore_All, Abort);
    if (copied) {
        if (std::optional<platform::File> there = support_->Find_File(Target)) Record_In_Step(*SFile, *there);
    }
    return copied;
}

bool Copy_Job::Trash_Deleted_There(const std::string& Path) {
    // The entry goes first: a run killed before the file reaches the trash
    // then finds it unknown and copies it back, where the other way round a
    // file the user restores from the trash would be trashed again. The
    // entry comes back when the file stays.
    std::optional<platform::Synced_File> entry;
    const bool recorded = sync_->record && !sync_->read_only;
    const std::string& here_root = state_->Reverse_Direction ? sync_->target_root : sync_->source_root;
    const std::string relative = Path.substr(here_root.size());
    if (recorded) {
        try {
            entry = sync_->record->find(relative);
            sync_->record->forget(relative);
        } catch (const platform::Sync_Record_Error& failure) {
            Drop_Sync_Record(failure.what());
        }
    }
    try {
        platform::move_to_trash(support_->file_system(), Path);
    } catch (const std::exception& failure) {
        List_Error({.trouble = Copy_Trouble::Not_Trashed, .path = Path, .detail = failure.what()});
        if (entry && sync_->record) {
            try {
                sync_->record->put(relative, *entry);
            } catch (const platform::Sync_Record_Error& record_failure) {
                Drop_Sync_Record(record_failure.what());
            }
        }
        return false;
    }
    Increment_Counter(state_->Outcome.files_trashed);
    return true;
}

bool Copy_Job::Keep_Both_Versions(platform::File& Here, const std::string& There_Path, bool& Ignore_All, bool& Abort) {
    tested_target_.valid = false;
    std::optional<platform::File> there = support_->Find_File(There_Path);
    std::optional<platform::File> here = Here;
    if (!there) return Copy_File(here, There_Path, Ignore_All, Abort);
    const std::int64_t step = std::max(Time_Step(Here), Time_Step(*there));
    // The newer edit keeps the name, as without a record; a tie goes to
    // the side walked.
    const bool here_newer =
        platform::truncated_time(Here.Modified_Time(), step) >= platform::truncated_time(there->Modified_Time(), step);
    platform::File& older = here_newer ? *there : *here;
    const std::string here_path = Here.Path();
    const std::string older_path = older.Path();
    const std::string newer_path = here_newer ? here_path : There_Path;
    const bool older_in_source = here_newer == state_->Reverse_Direction;
    const std::string& side = older_in_source ? sync_->source_label : sync_->target_label;
    const std::string older_folder = support::Filepath(older_path, false) + support::Separator;
    const std::string newer_folder = support::Filepath(newer_path, false) + support::Separator;

    std::string kept_name;
    for (int number = 1; kept_name.empty(); ++number) {
        const std::string name = conflict_name(older.Name(), older.Modified_Time(), side, number);
        if (!support_->Find_File(older_folder + name) && !support_->Find_File(newer_folder + name)) kept_name = name;
    }
    try {
        older.Move(older_folder + kept_name);
    } catch (const std::exception& failure) {
        List_Error({.trouble = Copy_Trouble::Conflict_Not_Kept,
                    .path = here_path,
                    .target = older_path,
                    .detail = failure.what()});
        return false;
    }
    std::optional<platform::File> kept = support_->Find_File(older_folder + kept_name);
    const bool kept_both_sides = Copy_File(kept, newer_folder + kept_name, Ignore_All, Abort);
    if (!kept_both_sides) Count_Failed_File();
    std::optional<platform::File> newer = support_->Find_File(newer_path);
    const bool copied = Copy_File(newer, older_path, Ignore_All, Abort);

    List_Error({.trouble = Copy_Trouble::Conflict_Kept, .path = here_path, .target = kept_name});
    Increment_Counter(state_->Outcome.conflicts);
    const std::string here_folder = here_newer ? newer_folder : older_folder;
    const std::string there_folder = here_newer ? older_folder : newer_folder;
    if (copied) {
        if (auto now_here = support_->Find_File(here_path), now_there = support_->Find_File(There_Path);
            now_here && now_there)
            Record_In_Step(*now_here, *now_there);
    }
    if (kept_both_sides) {
        if (auto kept_here = support_->Find_File(here_folder + kept_name),
            kept_there = support_->Find_File(there_folder + kept_name);
            kept_here && kept_there)
            Record_In_Step(*kept_here, *kept_there);
    }
    return copied;
}

}  // namespace zentrel::engine
