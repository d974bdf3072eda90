#include "platform/copy_progress.h"

namespace zentrel::platform {

namespace {

thread_local const Copy_Progress_Scope* current_scope = nullptr;

}  // namespace

Copy_Progress_Scope::Copy_Progress_Scope(std::atomic<std::uint64_t>& counter,
                                         const std::function<void(std::uint64_t)>* after_piece)
    : counter_(&counter), after_piece_(after_piece), outer_(current_scope) {
    current_scope = this;
}

Copy_Progress_Scope::~Copy_Progress_Scope() { current_scope = outer_; }

void Count_Copied_Bytes(std::uint64_t bytes) {
    const Copy_Progress_Scope* scope = current_scope;
    if (!scope) return;
    const std::uint64_t total = scope->counter_->fetch_add(bytes, std::memory_order_relaxed) + bytes;
    if (scope->after_piece_ && *scope->after_piece_) (*scope->after_piece_)(total);
}

}  // namespace zentrel::platform
