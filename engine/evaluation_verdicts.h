// What the evaluation found for each file, kept for the walk that follows.
//
// The evaluation runs the whole file test for every listed file; the walk
// would run it again. For a file the evaluation found unchanged (not to be
// copied) the walk may skip its look-ups, and for a file the hidden and
// system test left out, or one without a stored attribute, the attribute
// read, provided its folder still holds the same names and nothing the
// test reads has changed since (check boxes, filters, the date, the
// folders). Each folder's verdicts carry the moment the evaluation began
// it: the walk trusts them only for a short while (Trust_Span), so that a
// file edited, hidden or whose copy is deleted while a long run is under
// way is tested at its turn, as without them. A file it found to be copied
// into an absent target is copied without the walk's looks at it and its
// target, also later in a long run: the copy reads the file as it is then,
// never replaces a file that appeared meanwhile (the walk then tests it in
// full), and once Trust_Span is over the walk reads the stored attributes
// afresh, so that a file hidden meanwhile is left out and one that got
// attributes carries them. Four bits per file, in the
// order both walk the tree; a cap keeps a huge tree's memory flat, the rest
// is tested again.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace zentrel::engine {

class Evaluation_Verdicts {
public:
    // 4 MiB of bits.
    static constexpr std::size_t Capacity_Bits = std::size_t{32} << 20;
    using Clock = std::chrono::steady_clock;
    // How long after the evaluation looked at a folder its verdicts hold: a
    // re-run with nothing changed walks each folder well within it.
    static constexpr Clock::duration Trust_Span = std::chrono::seconds(1);
    // Whether verdicts judged then still hold in full.
    static bool Fresh(Clock::time_point judged) { return Clock::now() - judged < Trust_Span; }

    // What the evaluation found of one name, as flags; none: test it.
    enum Verdict : unsigned char { Test = 0, Left_Out = 1, Unchanged = 2, No_Attribute = 4, Target_Absent = 8 };
    // The largest file copied on such a verdict: its size unknown to the
    // walk until it is copied, it is copied while the window waits, which
    // a larger file must not make it do.
    static constexpr std::uint64_t Absent_Target_Bytes = platform::Copy_Batch::Largest_File;

    // Forgets everything: each evaluation starts afresh.
    void clear();

    // The evaluation starts a folder whose patterns chose names (before the
    // hidden and system test), under these options (every value the file
    // test reads, as one text).
    void begin_folder(const std::string& folder, const std::vector<std::string>& names, const std::string& options);
    // The hidden and system test left out the name at position.
    void left_out(std::size_t position);
    // The listing read the stored attribute of the name at position and
    // found none.
    void no_attribute(std::size_t position);
    // File Index of the folder's listing is the name at position.
    void listed(long index, std::size_t position);
    // The evaluation's verdict on file Index of the folder it began last:
    // unchanged (the test did not take it) or not; files it never judged
    // count as to be tested.
    void record(long index, bool unchanged);
    // File Index (a regular file up to Absent_Target_Bytes) is to be copied
    // into a target that is not there.
    void target_absent(long index);

    // For the walk, which asks for its folders in the evaluation's order:
    // fills verdicts (flags, one per name) and the moment the evaluation
    // began the folder, and returns true; returns false when the folder, its
    // names or the options differ from the evaluation's. Verdicts older than
    // Trust_Span keep only Target_Absent.
    bool for_folder(const std::string& folder, const std::vector<std::string>& names, const std::string& options,
                    std::vector<unsigned char>& verdicts, Clock::time_point& judged);

private:
    struct Folder_Verdicts {
        std::uint64_t key = 0;   // the folder, its names and the options
        std::vector<bool> bits;  // per name: left out, unchanged, no attribute, target absent
        Clock::time_point judged;
    };
    static std::uint64_t key_of(const std::string& folder, const std::vector<std::string>& names,
                                const std::string& options);

    std::vector<Folder_Verdicts> folders_;
    // The position among the names of each file of the folder begun last.
    std::vector<std::uint32_t> positions_;
    std::size_t next_ = 0;  // the walk's place among folders_
    std::size_t bits_ = 0;
    bool full_ = false;
};

}  // namespace zentrel::engine
