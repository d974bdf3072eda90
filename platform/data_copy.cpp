#include "platform/data_copy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/copy_progress.h"
#include "platform/file_system.h"

namespace zentrel::platform::posix {

namespace {

[[noreturn]] void fail(const std::string& path) { throw File_System_Error(errno, path); }

// The error belongs to whichever side failed; ENOSPC, EDQUOT and EFBIG can
// only come from the destination.
[[noreturn]] void fail_copy(int error, const std::string& from, const std::string& to) {
    const bool target_side = error == ENOSPC || error == EDQUOT || error == EFBIG;
    throw File_System_Error(error, target_side ? to : from);
}

// Pieces small enough that a window showing the progress of a large file
// sees it move several times a second.
constexpr size_t Piece = size_t{1} << 26;

// Small files (the usual reason to read and write) need no large buffer.
size_t buffer_size_for(off_t size) { return size < (1 << 16) ? size_t{1} << 16 : size_t{1} << 20; }

// copy_file_range() refuses some pairs of files (other file systems on old
// kernels, special file systems); those are copied by read and write instead.
bool in_kernel_copy_unavailable(int error) {
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP ||
           error == EBADF || error == ETXTBSY;
}

// Whether copy_file_range() is still worth asking for this file, and the
// error it answered when it stopped being.
struct Kernel_Copy {
    bool usable = true;
    int refusal = 0;
};

// Reads into buffer; 0 at the end. offset < 0 reads at the current offset.
size_t read_some(int in, char* buffer, size_t size, off_t offset, const std::string& from) {
    for (;;) {
        const ssize_t got = offset < 0 ? ::read(in, buffer, size) : ::pread(in, buffer, size, offset);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno == EINTR) continue;
        // Opened non-blocking: a file system that honours the flag for
        // files is waited for after all.
        if (errno == EAGAIN && ::fcntl(in, F_SETFL, 0) == 0) continue;
        fail(from);
    }
}

// Writes all of data; offset < 0 writes at the current offset.
void write_all(int out, const char* data, size_t size, off_t offset, const std::string& to) {
    while (size > 0) {
        const ssize_t written = offset < 0 ? ::write(out, data, size) : ::pwrite(out, data, size, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(to);
        }
        data += written;
        size -= static_cast<size_t>(written);
        if (offset >= 0) offset += written;
    }
}

void write_zeros(int out, off_t from_offset, off_t end, const std::string& to) {
    const size_t size = buffer_size_for(end - from_offset);
    const std::unique_ptr<char[]> zeros(new char[size]());
    while (from_offset < end) {
        const size_t piece = std::min(size, static_cast<size_t>(end - from_offset));
        write_all(out, zeros.get(), piece, from_offset, to);
        from_offset += static_cast<off_t>(piece);
    }
}

// A dense file from the current offsets, as most files are copied.
void copy_dense(int in, int out, const struct stat& source, Kernel_Copy& kernel_copy, const std::string& from,
                const std::string& to) {
    std::uint64_t total = 0;
    while (kernel_copy.usable) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, Piece, 0);
        if (copied > 0) {
            total += static_cast<std::uint64_t>(copied);
            Count_Copied_Bytes(static_cast<std::uint64_t>(copied));
            // The size the status gave is reached: asking on only to hear
            // "end of file" costs a call per file. Whatever a writer adds
            // meanwhile makes the file newer than the time the copy takes
            // over, so the next run copies it again.
            if (source.st_size > 0 && total >= static_cast<std::uint64_t>(source.st_size)) return;
            continue;
        }
        // After data, nothing more is the end. Nothing at all may also be a
        // file system that reports no size: read on to be sure.
        if (copied == 0) {
            if (total > 0) return;
            break;
        }
        if (errno == EINTR) continue;
        if (!in_kernel_copy_unavailable(errno)) fail_copy(errno, from, to);
        kernel_copy = {false, errno};
    }
    const size_t size = buffer_size_for(source.st_size);
    std::unique_ptr<char[]> buffer(new char[size]);
    for (;;) {
        const size_t got = read_some(in, buffer.get(), size, -1, from);
        if (got == 0) return;
        write_all(out, buffer.get(), got, -1, to);
        Count_Copied_Bytes(got);
        // As above: the size reached is the end.
        total += got;
        if (source.st_size > 0 && total >= static_cast<std::uint64_t>(source.st_size)) return;
    }
}

// Copies in's bytes from offset up to end into out at the same offsets.
// Returns the offset reached: end, or less where in ended first.
off_t copy_range(int in, int out, off_t offset, off_t end, Kernel_Copy& kernel_copy, const std::string& from,
                 const std::string& to) {
    while (kernel_copy.usable && offset < end) {
        loff_t in_at = offset, out_at = offset;
        const auto length = std::min(static_cast<size_t>(end - offset), Piece);
        const ssize_t copied = ::copy_file_range(in, &in_at, out, &out_at, length, 0);
        if (copied > 0) {
            offset += copied;
            Count_Copied_Bytes(static_cast<std::uint64_t>(copied));
            continue;
        }
        if (copied == 0) return offset;
        if (errno == EINTR) continue;
        if (!in_kernel_copy_unavailable(errno)) fail_copy(errno, from, to);
        kernel_copy = {false, errno};
    }
    if (offset >= end) return offset;
    const size_t size = buffer_size_for(end - offset);
    std::unique_ptr<char[]> buffer(new char[size]);
    while (offset < end) {
        const size_t got = read_some(in, buffer.get(), std::min(size, static_cast<size_t>(end - offset)), offset, from);
        if (got == 0) return offset;
        write_all(out, buffer.get(), got, offset, to);
        offset += static_cast<off_t>(got);
        Count_Copied_Bytes(got);
    }
    return offset;
}

// Only a file whose blocks hold less than its size can have holes. Small
// files are not asked where their data lies: a hole in them saves little,
// and file systems that report no blocks at all would cost every small file
// two more calls.
bool may_have_holes(const struct stat& source) {
    return source.st_size >= (off_t{1} << 16) && source.st_blocks * 512 < source.st_size;
}

// Copies only the data of in, leaving its holes as holes in out; false
// when in's file system cannot tell where the data lies, before anything
// was copied.
bool copy_sparse(int in, int out, const struct stat& source, Kernel_Copy& kernel_copy, const std::string& from,
                 const std::string& to) {
    off_t end = source.st_size;
    off_t position = 0;  // copied or a hole up to here
    off_t written = 0;   // the size of out
    while (position < end) {
        off_t data = ::lseek(in, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                data = end;  // a hole up to the end
            } else if (position == 0 && (errno == EINVAL || errno == EOPNOTSUPP || errno == ENOTSUP)) {
                return false;
            } else {
                fail(from);
            }
        }
        data = std::min(data, end);
        off_t hole = end;
        if (data < end && (hole = ::lseek(in, data, SEEK_HOLE)) < 0) fail(from);
        hole = std::min(hole, end);
        if (data > position) Count_Copied_Bytes(static_cast<std::uint64_t>(data - position));
        const off_t reached = copy_range(in, out, data, hole, kernel_copy, from, to);
        if (reached > data) written = reached;
        if (reached < hole) {
            // Cut short while it was copied: the copy ends where it did.
            end = reached;
            break;
        }
        position = hole;
    }
    // The size, and with it the hole at the end. Some drivers (fusefat,
    // smbnetfs) refuse to lengthen a file that way: they get the zeros.
    if (written < end && ::ftruncate(out, end) != 0) write_zeros(out, written, end, to);
    return true;
}

}  // namespace

bool Clone_Refusals::refused(Call call, dev_t device) {
    std::lock_guard lock(mutex_);
    for (auto at = refusals_.begin(); at != refusals_.end(); ++at) {
        if (at->call != call || at->device != device) continue;
        if (at->skips_left < 0) return true;
        if (at->skips_left-- > 0) return true;
        refusals_.erase(at);  // ask again
        return false;
    }
    return false;
}

void Clone_Refusals::remember(Call call, dev_t device, int error) {
    const int skips = error == EXDEV ? Across_Devices_Skipped : -1;
    std::lock_guard lock(mutex_);
    for (Refusal& refusal : refusals_) {
        if (refusal.call != call || refusal.device != device) continue;
        refusal.skips_left = skips;
        return;
    }
    refusals_.push_back({call, device, skips});
}

void copy_data(int in, int out, const struct stat& source, Clone_Refusals& refusals, const std::string& from,
               const std::string& to) {
    // A reflink shares the blocks, holes included: instant, and no space
    // used until one side changes. It fails harmlessly where the file
    // system cannot do it.
    using Call = Clone_Refusals::Call;
    if (!refusals.refused(Call::Clone, source.st_dev)) {
        if (::ioctl(out, FICLONE, in) == 0) {
            Count_Copied_Bytes(static_cast<std::uint64_t>(source.st_size));
            return;
        }
        if (errno == EOPNOTSUPP || errno == EXDEV) refusals.remember(Call::Clone, source.st_dev, errno);
    }
    Kernel_Copy kernel_copy{!refusals.refused(Call::Copy_Range, source.st_dev)};
    if (!(may_have_holes(source) && copy_sparse(in, out, source, kernel_copy, from, to)))
        copy_dense(in, out, source, kernel_copy, from, to);
    if (kernel_copy.refusal == EXDEV) refusals.remember(Call::Copy_Range, source.st_dev, EXDEV);
}

}  // namespace zentrel::platform::posix
