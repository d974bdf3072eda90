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

// The devices whose file system has refused a reflink. A refusal holds for
// the whole file system (a clone between two file systems fails with EXDEV
// before the file system is asked), so it is asked once, not for every file.
class Clone_Refusals {
public:
    bool refused(dev_t device);
    void remember(dev_t device);

private:
    std::mutex mutex_;  // large files are copied on a worker thread
    std::vector<dev_t> devices_;
};

// Copies in, whose status is source, into out, both at offset 0, until
// source's size or the end of in. Holes of in stay holes in out where out's
// file system has them. Every piece written or skipped is counted for the
// copy's progress. Throws File_System_Error naming from or to, whichever
// side failed.
void copy_data(int in, int out, const struct stat& source, Clone_Refusals& refusals, const std::string& from,
               const std::string& to);

}  // namespace zentrel::platform::posix
