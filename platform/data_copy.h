// The bytes of one open file copied into another: by reflink, in the
// kernel, or by read and write, keeping the holes of a sparse file.
// Posix_File_System is its one caller.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <mutex>
#include <string>
#include <vector>

namespace zentrel::platform::posix {

// What the kernel refused to copy from a source device, so that the next
// files are not asked again, each refused call costing a call per file.
// A file system without reflinks refuses them for good. A copy onto another
// file system (EXDEV) is refused for the next Across_Devices_Skipped files
// only: the same source may be copied onto its own file system later (a
// target tree with a mount inside, the next job of a window), and the worst
// that then happens to those files is a copy through read and write.
class Clone_Refusals {
public:
    enum class Call { Clone, Copy_Range };
    static constexpr int Across_Devices_Skipped = 64;

    // Whether call is not to be asked for a file of device.
    bool refused(Call call, dev_t device);
    // call answered error for a file of device.
    void remember(Call call, dev_t device, int error);

private:
    struct Refusal {
        Call call;
        dev_t device;
        int skips_left;  // negative: for good
    };
    std::mutex mutex_;  // large files are copied on a worker thread
    std::vector<Refusal> refusals_;
};

// Copies in, whose status is source, into out, both at offset 0, until
// source's size or the end of in. Holes of in stay holes in out where out's
// file system has them. Every piece written or skipped is counted for the
// copy's progress. Throws File_System_Error naming from or to, whichever
// side failed.
void copy_data(int in, int out, const struct stat& source, Clone_Refusals& refusals, const std::string& from,
               const std::string& to);

}  // namespace zentrel::platform::posix
