// The bytes that copies on one thread have written so far, for a caller on
// another thread that shows them while a large file is being copied.
#pragma once

#include <atomic>
#include <cstdint>

namespace zentrel::platform {

// While it lives, the copies made on the thread that created it add the
// bytes they write to counter. Scopes nest; the innermost one counts.
class Copy_Progress_Scope {
public:
    explicit Copy_Progress_Scope(std::atomic<std::uint64_t>& counter);
    ~Copy_Progress_Scope();
    Copy_Progress_Scope(const Copy_Progress_Scope&) = delete;
    Copy_Progress_Scope& operator=(const Copy_Progress_Scope&) = delete;

private:
    std::atomic<std::uint64_t>* outer_;
};

// Called by a copy after each piece it wrote; nothing happens outside a scope.
void Count_Copied_Bytes(std::uint64_t bytes);

}  // namespace zentrel::platform
