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

// The names that an include item matches and no exclude item does, in the
// order of the include items. A file that several items match is listed
// once, where the first one put it: handled twice, it would be counted
// twice, and the progress would never reach its end.
std::vector<std::string> chosen_names(std::vector<std::string> names, const std::string& Include_Pattern,
                                      const std::string& Exclude_Pattern) {
    std::vector<std::size_t> chosen;
    std::vector<bool> taken(names.size());
    for (const std::string& item : pattern_items(Include_Pattern.empty() ? "*.*" : Include_Pattern)) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            // The copy parks a target's old version under this name; it is
            // never a file of the user's to copy or to carry back.
            if (taken[i] || names[i] == Temporary_Name || !platform::wildcard_match(item, names[i])) continue;
            taken[i] = true;
            chosen.push_back(i);
        }
    }
    // An excluded name is left out whatever its class: the classes can only
    // leave out more.
    if (!Exclude_Pattern.empty() && !chosen.empty()) {
        std::vector<std::string> excluded = pattern_items(Exclude_Pattern);
        // An empty item (a trailing ";", a lone blank) would list every file
        // and so exclude them all: it means nothing here. In the include
        // filter it keeps its meaning of all files.
        std::erase(excluded, std::string());
        std::erase_if(chosen, [&](std::size_t i) {
            return std::any_of(excluded.begin(), excluded.end(),
                               [&](const std::string& item) { return platform::wildcard_match(item, names[i]); });
        });
    }
    std::vector<std::string> candidates;
    candidates.reserve(chosen.size() + 1);  // room for the empty entry 0 of the listing
    for (std::size_t i : chosen) candidates.push_back(std::move(names[i]));
    return candidates;
}

}  // namespace

Folder_Listing Copy_Job::Get_Folder_Files(const std::string& Folder, const std::string& Include_Pattern,
                                          const std::string& Exclude_Pattern, int Classes, Listing_For Role) {
    const std::string folder = support::Trailing_Backslash(Folder, false);
    Folder_Listing listing;
    try {
        // One reading of the folder for every pattern.
        std::vector<std::string> folders;
        std::vector<std::string> names = platform::listable_names(support_->file_system(), folder, &folders);
        listing.folders = std::move(folders);
        Keep_Passing_Files(listing, folder, chosen_names(std::move(names), Include_Pattern, Exclude_Pattern), Classes,
                           Role);
    } catch (const std::exception& failure) {
        Report_Listing_Failure(folder, failure.what(), Role);
        // Whatever was listed before the failure may include files the
        // classes would have removed: a folder whose listing failed lists
        // nothing, and the walk reports it as not finished.
        listing = Folder_Listing{};
        listing.failed = true;
    }
    return listing;
}

void Copy_Job::Keep_Passing_Files(Folder_Listing& Listing, const std::string& Folder,
                                  std::vector<std::string> Candidates, int Classes, Listing_For Role) {
    // The walk takes over what the evaluation decided for a folder that
    // still holds the same names: no attribute read for a file it left out,
    // found unchanged or found without a stored attribute.
    using Verdict = Evaluation_Verdicts::Verdict;
    std::vector<unsigned char> known;
    bool trusted = false;
    if (Role == Listing_For::Walk) {
        Listing.verdict_options = Test_Options();
        trusted = verdicts_.for_folder(Folder, Candidates, Listing.verdict_options, known, Listing.judged);
    }
    if (Role == Listing_For::Evaluation) verdicts_.begin_folder(Folder, Candidates, Test_Options());
    std::vector<bool> decide;
    // Older verdicts keep only "target absent": every attribute is read afresh.
    if (trusted && Evaluation_Verdicts::Fresh(Listing.judged)) {
        decide.resize(Candidates.size());
        for (std::size_t i = 0; i < Candidates.size(); ++i) decide[i] = known[i] == Verdict::Test;
    }
    const bool keep_attributes = Role != Listing_For::Other;
    platform::Listed_Attributes read;
    if (keep_attributes) read.reset(Candidates.size());
    const std::vector<char> passes =
        platform::pass_classes(support_->file_system(), Folder, Candidates, Classes, decide.empty() ? nullptr : &decide,
                               [&](std::size_t position, std::optional<std::string> bytes) {
                                   if (Role == Listing_For::Evaluation && !bytes) verdicts_.no_attribute(position);
                                   if (keep_attributes) read.set(position, std::move(bytes));
                               });
    std::vector<bool>().swap(decide);
    if (trusted) Listing.unchanged.push_back(false);
    if (trusted) Listing.absent.push_back(false);
    if (keep_attributes) Listing.attributes.reset(Candidates.size() + 1);
    // The passing names are kept in place: a large folder's list is
    // never held twice.
    std::size_t count = 0;
    for (std::size_t i = 0; i < Candidates.size(); ++i) {
        if (trusted && (known[i] & Verdict::Left_Out)) continue;
        if (!passes[i]) {
            if (Role == Listing_For::Evaluation) verdicts_.left_out(i);
            continue;
        }
        if (count != i) Candidates[count] = std::move(Candidates[i]);
        ++count;
        if (Role == Listing_For::Evaluation) verdicts_.listed(static_cast<long>(count), i);
        if (trusted) Listing.unchanged.push_back(known[i] & Verdict::Unchanged);
        if (trusted) Listing.absent.push_back(known[i] & Verdict::Target_Absent);
        if (!keep_attributes) continue;
        if (auto bytes = read.get(i))
            Listing.attributes.set(count, std::move(*bytes));
        else if (trusted && (known[i] & Verdict::No_Attribute))
            Listing.attributes.set(count, std::nullopt);
    }
    Candidates.resize(count);
    Candidates.insert(Candidates.begin(), std::string());
    Listing.folder = Folder;
    Listing.names = std::move(Candidates);
}

void Copy_Job::Report_Listing_Failure(const std::string& Folder, const std::string& Description, Listing_For Role) {
    // The walk that follows a run's evaluation lists the folder again and
    // reports it, with its entry in the error list: one box for it, not two.
    const bool walk_reports = Role == Listing_For::Evaluation && state_->Run_Under_Way && !preview_;
    try {
        if (!walk_reports) events_->Folder_Failed({Folder_Trouble::Listing_Failed, Folder, Description});
    } catch (...) {
    }
}

void Copy_Job::Use_Listed_Attribute(platform::File& File, const platform::Listed_Attributes& Listed, long Index) {
    if (Index < 0) return;
    if (auto bytes = Listed.get(static_cast<std::size_t>(Index))) File.Use_Listed_Attribute(std::move(*bytes));
}

}  // namespace zentrel::engine
