#include "engine/evaluation_verdicts.h"

namespace zentrel::engine {

namespace {

// FNV-1a, 64 bits, over each text and a separator no name contains.
void mix(std::uint64_t& hash, const std::string& text) {
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    hash ^= 0;
    hash *= 0x100000001b3ULL;
}

// How far the walk looks ahead for its folder: the evaluation may have
// entered a folder the walk does not (or the other way round) when the tree
// changed in between.
constexpr std::size_t Look_Ahead = 8;

}  // namespace

std::uint64_t Evaluation_Verdicts::key_of(const std::string& folder, const std::vector<std::string>& files, long count,
                                          const std::string& options) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    mix(hash, options);
    mix(hash, folder);
    for (long i = 1; i <= count && i < static_cast<long>(files.size()); ++i) mix(hash, files[i]);
    mix(hash, std::to_string(count));
    return hash;
}

void Evaluation_Verdicts::clear() {
    folders_.clear();
    next_ = 0;
    bits_ = 0;
    full_ = false;
}

void Evaluation_Verdicts::begin_folder(const std::string& folder, const std::vector<std::string>& files, long count,
                                       const std::string& options) {
    if (full_ || bits_ + static_cast<std::size_t>(count) > Capacity_Bits) {
        full_ = true;
        return;
    }
    bits_ += static_cast<std::size_t>(count);
    folders_.push_back({key_of(folder, files, count, options), std::vector<bool>(static_cast<std::size_t>(count) + 1)});
}

void Evaluation_Verdicts::record(long index, bool unchanged) {
    if (full_ || folders_.empty()) return;
    auto& bits = folders_.back().unchanged;
    if (index >= 0 && static_cast<std::size_t>(index) < bits.size()) bits[static_cast<std::size_t>(index)] = unchanged;
}

const std::vector<bool>* Evaluation_Verdicts::for_folder(const std::string& folder,
                                                         const std::vector<std::string>& files, long count,
                                                         const std::string& options) {
    const std::uint64_t key = key_of(folder, files, count, options);
    for (std::size_t at = next_; at < folders_.size() && at < next_ + Look_Ahead; ++at) {
        if (folders_[at].key != key) continue;
        next_ = at + 1;
        return &folders_[at].unchanged;
    }
    return nullptr;
}

}  // namespace zentrel::engine
