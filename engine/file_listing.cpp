#include "engine/copy_job.h"

#include "platform/folder_listing.h"

#include <algorithm>
#include <exception>

namespace zentrel::engine {

namespace {

// ";" counts as ",", blanks are no part of a pattern, and empty items stay:
// an empty item lists every file.
std::vector<std::string> pattern_items(const std::string& filter) {
    std::string text;
    text.reserve(filter.size());
    for (char c : filter) {
        if (c == ' ') continue;
        text += c == ';' ? ',' : c;
    }
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) break;
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    items.push_back(text.substr(start));
    return items;
}

}  // namespace

long Copy_Job::Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                                const std::string& Exclude_Pattern, std::vector<std::string>& Files, int Classes,
                                platform::Listed_Attributes* Read_Attributes) {
    const std::string folder = support::Trailing_Backslash(Folder, false);
    const Listing_For role = listing_for_;
    listing_for_ = Listing_For::Other;
    listing_unchanged_.clear();
    listing_absent_.clear();
    listing_folders_.reset();
    platform::File_System& fs = support_->file_system();
    Files.assign(1, std::string());
    if (Read_Attributes) Read_Attributes->reset(1);
    listing_failed_ = false;
    long count = 0;
    try {
        // One reading of the folder for every pattern. A file that several
        // items match is listed once, where the first one put it: handled
        // twice, it would be counted twice, and the progress would never
        // reach its end.
        std::vector<std::string> folders;
        std::vector<std::string> names = platform::listable_names(fs, folder, &folders);
        listing_folders_ = std::move(folders);
        std::vector<std::size_t> chosen;
        std::vector<bool> taken(names.size());
        for (const std::string& item : pattern_items(Include_Pattern.empty() ? "*.*" : Include_Pattern)) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                // The copy parks a target's old version under this name; it
                // is never a file of the user's to copy or to carry back.
                if (taken[i] || names[i] == Temporary_Name || !platform::wildcard_match(item, names[i])) continue;
                taken[i] = true;
                chosen.push_back(i);
            }
        }
        // An excluded name is left out whatever its class: the classes can
        // only leave out more.
        if (!Exclude_Pattern.empty() && !chosen.empty()) {
            std::vector<std::string> excluded = pattern_items(Exclude_Pattern);
            // An empty item (a trailing ";", a lone blank) would list every
            // file and so exclude them all: it means nothing here. In the
            // include filter it keeps its meaning of all files.
            std::erase(excluded, std::string());
            std::erase_if(chosen, [&](std::size_t i) {
                return std::any_of(excluded.begin(), excluded.end(),
                                   [&](const std::string& item) { return platform::wildcard_match(item, names[i]); });
            });
        }
        std::vector<std::string> candidates;
        candidates.reserve(chosen.size() + 1);  // room for the empty entry 0 of Files
        for (std::size_t i : chosen) candidates.push_back(std::move(names[i]));
        // Given back now, not kept as capacity (as "= {}" would).
        std::vector<std::string>().swap(names);
        std::vector<std::size_t>().swap(chosen);
        std::vector<bool>().swap(taken);

        // The walk takes over what the evaluation decided for a folder that
        // still holds the same names: no attribute read for a file it left
        // out, found unchanged or found without a stored attribute.
        using Verdict = Evaluation_Verdicts::Verdict;
        std::vector<unsigned char> known;
        bool trusted = false;
        if (role == Listing_For::Walk) {
            listing_options_ = Test_Options();
            trusted = verdicts_.for_folder(folder, candidates, listing_options_, known, listing_judged_);
        }
        if (role == Listing_For::Evaluation) verdicts_.begin_folder(folder, candidates, Test_Options());
        std::vector<bool> decide;
        if (trusted) {
            decide.resize(candidates.size());
            for (std::size_t i = 0; i < candidates.size(); ++i) decide[i] = known[i] == Verdict::Test;
        }
        platform::Listed_Attributes read;
        if (Read_Attributes) read.reset(candidates.size());
        const std::vector<char> passes =
            platform::pass_classes(fs, folder, candidates, Classes, trusted ? &decide : nullptr,
                                   [&](std::size_t position, std::optional<std::string> bytes) {
                                       if (role == Listing_For::Evaluation && !bytes) verdicts_.no_attribute(position);
                                       if (Read_Attributes) read.set(position, std::move(bytes));
                                   });
        std::vector<bool>().swap(decide);
        if (trusted) listing_unchanged_.push_back(false);
        if (trusted) listing_absent_.push_back(false);
        if (Read_Attributes) Read_Attributes->reset(candidates.size() + 1);
        // The paths are made from the names in place: a large folder's
        // list is never held twice.
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (trusted && (known[i] & Verdict::Left_Out)) continue;
            if (!passes[i]) {
                if (role == Listing_For::Evaluation) verdicts_.left_out(i);
                continue;
            }
            candidates[i].insert(0, folder);
            if (static_cast<std::size_t>(count) != i)
                candidates[static_cast<std::size_t>(count)] = std::move(candidates[i]);
            ++count;
            if (role == Listing_For::Evaluation) verdicts_.listed(count, i);
            if (trusted) listing_unchanged_.push_back(known[i] & Verdict::Unchanged);
            if (trusted) listing_absent_.push_back(known[i] & Verdict::Target_Absent);
            if (Read_Attributes) {
                if (auto bytes = read.get(i))
                    Read_Attributes->set(static_cast<std::size_t>(count), std::move(*bytes));
                else if (trusted && (known[i] & Verdict::No_Attribute))
                    Read_Attributes->set(static_cast<std::size_t>(count), std::nullopt);
            }
        }
        candidates.resize(static_cast<std::size_t>(count));
        candidates.insert(candidates.begin(), std::string());
        Files = std::move(candidates);
    } catch (const std::exception& failure) {
        // The walk that follows a run's evaluation lists the folder again and
        // reports it, with its entry in the error list: one box for it, not two.
        const bool walk_reports = role == Listing_For::Evaluation && state_->Run_Under_Way && !Preview;
        try {
            if (!walk_reports)
                support_->Message_Box(
                    "Fehler bei der Verarbeitung von Verzeichnis:\r\n" + folder + "\r\n" + failure.what(),
                    support::Buttons_OK);
        } catch (...) {
        }
        // Whatever was listed before the failure may include files the
        // classes would have removed: a folder whose listing failed lists
        // nothing, and the walk reports it as not finished.
        listing_failed_ = true;
        listing_unchanged_.clear();
        listing_absent_.clear();
        listing_folders_.reset();
        Files.assign(1, std::string());
        if (Read_Attributes) Read_Attributes->reset(1);
        return 0;
    }
    return count;
}

void Copy_Job::Use_Listed_Attribute(platform::File& File, const platform::Listed_Attributes& Listed, long Index) {
    if (Index < 0) return;
    if (auto bytes = Listed.get(static_cast<std::size_t>(Index))) File.Use_Listed_Attribute(std::move(*bytes));
}

}  // namespace zentrel::engine
