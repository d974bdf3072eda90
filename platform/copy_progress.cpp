#include "platform/copy_progress.h"

namespace zentrel::platform {

namespace {

thread_local std::atomic<std::uint64_t>* current_counter = nullptr;

}  // namespace

Copy_Progress_Scope::Copy_Progress_Scope(std::atomic<std::uint64_t>& counter) : outer_(current_counter) {
    current_counter = &counter;
}

Copy_Progress_Scope::~Copy_Progress_Scope() { current_counter = outer_; }

void Count_Copied_Bytes(std::uint64_t bytes) {
    if (current_counter) current_counter->fetch_add(bytes, std::memory_order_relaxed);
}

}  // namespace zentrel::platform
