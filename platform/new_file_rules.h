// What the kernel does with the new files of the folder a run writes into,
// learnt from the first copies there, so that the later ones need fewer
// calls.
//
// A new file gets the permission bits asked for less the umask, or less
// what the folder's default ACL leaves; either holds for the whole folder.
// The first copy into a folder is looked at once (fstat); a later one that
// asks for no bit beyond those seen kept there is opened with its final
// bits and needs no chmod. A folder whose file system made no unnamed file
// is not asked again. Only the last folder is kept: a run writes one folder
// after another. forget() starts afresh (a run's start), since a folder may
// have a new ACL, or another file system mounted on it, by then.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>

namespace zentrel::platform {

class New_File_Rules {
public:
    enum class Bits { Kept, Unknown, Changed };
    // Whether a file made in folder asking for mode is known to get exactly
    // mode (Kept), known not to (Changed: the folder changed such bits
    // before), or not known yet.
    Bits bits(const std::string& folder, mode_t mode);
    // A file made in folder asking for asked got got.
    void learn(const std::string& folder, mode_t asked, mode_t got);

    bool refuses_unnamed(const std::string& folder);
    void note_unnamed_refused(const std::string& folder);

    void forget();

private:
    // Under the lock: the entry of folder, made afresh for a new folder.
    void select(const std::string& folder);

    std::mutex mutex_;  // large files are copied on a worker thread
    std::string folder_;
    mode_t kept_ = 0;  // bits a new file of folder_ was seen to keep
    bool changed_ = false;
    bool refuses_unnamed_ = false;
};

}  // namespace zentrel::platform
