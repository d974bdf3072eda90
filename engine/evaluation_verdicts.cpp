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

// Left out, unchanged, no attribute, target absent.
constexpr std::size_t Bits_Per_Name = 4;

}  // namespace

std::uint64_t Evaluation_Verdicts::key_of(const std::string& folder, const std::vector<std::string>& names,
                                          const std::string& options) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    mix(hash, options);
    mix(hash, folder);
    for (const std::string& name : names) mix(hash, name);
    mix(hash, std::to_string(names.size()));
    return hash;
}

void Evaluation_Verdicts::clear() {
    folders_.clear();
    positions_.clear();
    next_ = 0;
    bits_ = 0;
    full_ = false;
}

void Evaluation_Verdicts::begin_folder(const std::string& folder, const std::vector<std::string>& names,
                                       const std::string& options) {
    positions_.assign(1, 0);
    if (full_ || bits_ + Bits_Per_Name * names.size() > Capacity_Bits) {
        full_ = true;
        return;
    }
    bits_ += Bits_Per_Name * names.size();
    folders_.push_back({key_of(folder, names, options), std::vector<bool>(Bits_Per_Name * names.size()), Clock::now()});
}

void Evaluation_Verdicts::left_out(std::size_t position) {
    if (full_ || folders_.empty()) return;
    auto& bits = folders_.back().bits;
    if (Bits_Per_Name * position < bits.size()) bits[Bits_Per_Name * position] = true;
}

void Evaluation_Verdicts::no_attribute(std::size_t position) {
    if (full_ || folders_.empty()) return;
    auto& bits = folders_.back().bits;
    if (Bits_Per_Name * position + 2 < bits.size()) bits[Bits_Per_Name * position + 2] = true;
}

void Evaluation_Verdicts::listed(long index, std::size_t position) {
    if (full_ || index < 1) return;
    if (positions_.size() <= static_cast<std::size_t>(index)) positions_.resize(static_cast<std::size_t>(index) + 1);
    positions_[static_cast<std::size_t>(index)] = static_cast<std::uint32_t>(position);
}

void Evaluation_Verdicts::record(long index, bool unchanged) {
    if (full_ || folders_.empty() || index < 1 || static_cast<std::size_t>(index) >= positions_.size()) return;
    auto& bits = folders_.back().bits;
    const std::size_t at = Bits_Per_Name * std::size_t{positions_[static_cast<std::size_t>(index)]} + 1;
    if (at < bits.size()) bits[at] = unchanged;
}

void Evaluation_Verdicts::target_absent(long index) {
    if (full_ || folders_.empty() || index < 1 || static_cast<std::size_t>(index) >= positions_.size()) return;
    auto& bits = folders_.back().bits;
    const std::size_t at = Bits_Per_Name * std::size_t{positions_[static_cast<std::size_t>(index)]} + 3;
    if (at < bits.size()) bits[at] = true;
}

bool Evaluation_Verdicts::for_folder(const std::string& folder, const std::vector<std::string>& names,
                                     const std::string& options, std::vector<unsigned char>& verdicts,
                                     Clock::time_point& judged) {
    // The evaluation is over: the positions of its last folder go.
    std::vector<std::uint32_t>().swap(positions_);
    const std::uint64_t key = key_of(folder, names, options);
    for (std::size_t at = next_; at < folders_.size() && at < next_ + Look_Ahead; ++at) {
        if (folders_[at].key != key) continue;
        next_ = at + 1;
        judged = folders_[at].judged;
        const bool fresh = Fresh(judged);
        const auto& bits = folders_[at].bits;
        verdicts.assign(names.size(), Test);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::size_t at = Bits_Per_Name * i;
            verdicts[i] = bits[at + 3] ? Target_Absent : 0;
            if (fresh)
                verdicts[i] |=
                    (bits[at] ? Left_Out : 0) | (bits[at + 1] ? Unchanged : 0) | (bits[at + 2] ? No_Attribute : 0);
        }
        return true;
    }
    return false;
}

}  // namespace zentrel::engine
