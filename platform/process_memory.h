// How the process's heap hands memory back to the system.
#pragma once

namespace zentrel::platform {

// Every block of 256 KiB or more (a large folder's listing) is mapped on its
// own and goes back to the system when freed. Without this, glibc raises its
// threshold for such blocks once the first is freed and serves the later
// ones from the heap, which keeps their pages: a folder of 200,000 files,
// listed by the evaluation and again by the walk, leaves the process about
// 5 MiB larger at its peak. Called once, at the start of the program.
void hand_back_large_blocks();

}  // namespace zentrel::platform
