// What the evaluation found for each file, kept for the walk that follows.
//
// The evaluation runs the whole file test for every listed file; the walk
// would run it again. For a file the evaluation found unchanged (not to be
// copied) the walk may skip its look-ups, provided its folder still lists
// the same names and nothing the test reads has changed since (check boxes,
// filters, the date, the folders). A file edited between the two is then
// taken by the next run, as with rsync's file list. One bit per file, in
// the order both walk the tree; a cap keeps a huge tree's memory flat, the
// rest is tested again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentrel::engine {

class Evaluation_Verdicts {
public:
    // 4 MiB of bits.
    static constexpr std::size_t Capacity_Bits = std::size_t{32} << 20;

    // Forgets everything: each evaluation starts afresh.
    void clear();

    // The evaluation starts a folder's files (Files 1 to Count, as listed)
    // under these options (every value the file test reads, as one text).
    void begin_folder(const std::string& folder, const std::vector<std::string>& files, long count,
                      const std::string& options);
    // The evaluation's verdict on file Index of the folder it began last:
    // unchanged (the test did not take it) or not; files it never judged
    // count as not unchanged.
    void record(long index, bool unchanged);

    // For the walk, which asks for its folders in the evaluation's order: the
    // verdicts of this folder (position i true: the file was unchanged), or
    // nullptr when the folder or the options differ from the evaluation's.
    const std::vector<bool>* for_folder(const std::string& folder, const std::vector<std::string>& files, long count,
                                        const std::string& options);

private:
    struct Folder_Verdicts {
        std::uint64_t key = 0;  // the folder, its listed names and the options
        std::vector<bool> unchanged;
    };
    static std::uint64_t key_of(const std::string& folder, const std::vector<std::string>& files, long count,
                                const std::string& options);

    std::vector<Folder_Verdicts> folders_;
    std::size_t next_ = 0;  // the walk's place among folders_
    std::size_t bits_ = 0;
    bool full_ = false;
};

}  // namespace zentrel::engine
