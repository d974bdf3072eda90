// The bytes that copies on one thread have written so far, for a caller on
// another thread that shows them while a large file is being copied, or
// for a caller on the same thread that is told after each piece.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace zentrel::platform {

// While it lives, the copies made on the thread that created it add the
// bytes they write to counter and, when after_piece is given, call it on
// that thread with the counter's new value after each piece they wrote.
// Scopes nest; the innermost one counts.
class Copy_Progress_Scope {
public:
    explicit Copy_Progress_Scope(std::atomic<std::uint64_t>& counter,
                                 const std::function<void(std::uint64_t)>* after_piece = nullptr);
    ~Copy_Progress_Scope();
    Copy_Progress_Scope(const Copy_Progress_Scope&) = delete;
    Copy_Progress_Scope& operator=(const Copy_Progress_Scope&) = delete;

private:
    friend void Count_Copied_Bytes(std::uint64_t bytes);

    std::atomic<std::uint64_t>* counter_;
    const std::function<void(std::uint64_t)>* after_piece_;
    const Copy_Progress_Scope* outer_;
};

// Called by a copy after each piece it wrote; nothing happens outside a scope.
void Count_Copied_Bytes(std::uint64_t bytes);

}  // namespace zentrel::platform
