// Removal of copies in progress that nobody finishes any more.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_objects.h"
#include "platform/posix_services.h"

namespace zentrel::platform {

namespace posix {

// A copy in progress is locked by its writer (copy_contents) for as long as
// data goes into it; a killed writer's lock went with it.
bool being_written(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return true;  // cannot tell: leave it
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool locked = !regular || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

}  // namespace posix

int remove_stale_partial_copies(File_System& fs, const std::string& folder) {
    int removed = 0;
    try {
        const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
        for (const Folder_Entry& entry : fs.read_folder(folder)) {
            if (!is_partial_copy_name(entry.name)) continue;
            const std::string path = prefix + entry.name;
            const auto status = fs.status(path);
            if (!status) continue;
            // A link under such a name is made and renamed in one breath
            // (File::Copy), so one that is still there was left behind.
            if (status->kind == Entry_Kind::Regular) {
                if (fs.being_written(path)) continue;
            } else if (status->kind != Entry_Kind::Symlink) {
                continue;
            }
            try {
                fs.remove_file(path);
                ++removed;
            } catch (const File_System_Error&) {
            }
        }
    } catch (const File_System_Error&) {
        // A folder that cannot be read keeps its leftovers; the copy itself
        // reports what is wrong with the folder.
    }
    return removed;
}

}  // namespace zentrel::platform
