#include "platform/process_memory.h"

#include <malloc.h>

namespace zentrel::platform {

void hand_back_large_blocks() {
    // A fixed threshold also turns glibc's raising of it off.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

}  // namespace zentrel::platform
