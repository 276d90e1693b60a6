// The trust check on POSIX: owners and mode bits of the file and of every folder on its way.
#include "platform/Trust.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FixedText.h"
#include "platform/FileNames.h"

namespace platform {
namespace {

bool TrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

// One entry of a path, by lstat: a link is judged by its owner alone (it cannot be changed, only
// replaced through its folder, which is judged too, and where it leads is checked as a path of
// its own).
TrustFault JudgeEntry(const char *path, bool last) {
    struct stat info;
    if (lstat(path, &info) != 0) return TrustFault::Unknown;
    if (!TrustedOwner(info.st_uid)) return TrustFault::ForeignOwner;
    if (S_ISLNK(info.st_mode)) return TrustFault::None;
    bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && !(S_ISDIR(info.st_mode) && !last && (info.st_mode & S_ISVTX) != 0))
        return TrustFault::WritableByOthers;
    return TrustFault::None;
}

// The root, every folder named on the way and the entry itself, in that order.
TrustFault JudgePath(const char *absolute) {
    FixedText<PATH_MAX> prefix;
    TrustFault fault = JudgeEntry("/", false);
    size_t length = strlen(absolute);
    for (size_t end = 1; fault == TrustFault::None && end <= length; ++end) {
        if (end < length && absolute[end] != '/') continue;
        if (absolute[end - 1] == '/') continue; // "//" or a trailing slash: the same entry again
        prefix.AssignPart(absolute, end);
        if (prefix.truncated()) return TrustFault::Unknown;
        fault = JudgeEntry(prefix.c_str(), end == length);
    }
    return fault;
}

} // namespace
} // namespace platform

TrustFault CheckTrustedFile(const char *windowsName) {
    FixedText<PATH_MAX> native;
    NativeFileName(native, windowsName);
    FixedText<PATH_MAX> absolute;
    if (native.StartsWith("/")) {
        absolute.Assign(native);
    } else {
        char directory[PATH_MAX];
        if (getcwd(directory, sizeof directory) == nullptr) return TrustFault::Unknown;
        absolute.Assign(directory).Append("/").Append(native);
    }
    if (native.empty() || native.truncated() || absolute.truncated()) return TrustFault::Unknown;
    TrustFault fault = platform::JudgePath(absolute.c_str());
    if (fault != TrustFault::None) return fault;
    // Where the links lead: those folders must be as safe as the ones named.
    char resolved[PATH_MAX];
    if (realpath(absolute.c_str(), resolved) == nullptr) return TrustFault::Unknown;
    if (absolute.Equals(resolved)) return TrustFault::None;
    return platform::JudgePath(resolved);
}
