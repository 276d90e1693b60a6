// The directory lock and the step marks on POSIX: flock on two files in the account's own folder
// "<TMPDIR or /tmp>/marrowind-<uid>" (mode 0700), named after the working directory's device and
// inode.
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryLockParts.h"
#include "platform/FixedText.h"
#include "platform/Process.h"

namespace platform {
namespace {

int lockDescriptor = -1;
int marksDescriptor = -1;

// Whether a folder or file is the account's alone: owned by it and nothing for group or others.
bool OwnersAlone(const struct stat &info) { return info.st_uid == geteuid() && (info.st_mode & 077) == 0; }

// "<folder>/<device>-<inode>.<extension>" in the account's folder, which is made when missing and
// refused when it is a link, not a folder, or not the account's alone.
bool PrivateFileName(TextBase &name, const DirectoryIdentity &identity, const char *extension) {
    const char *temporary = getenv("TMPDIR");
    if (temporary == nullptr || temporary[0] != '/') temporary = "/tmp";
    FixedText<511> folder;
    folder.Format("%s/marrowind-%u", temporary, static_cast<unsigned>(geteuid()));
    if (folder.truncated()) return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !OwnersAlone(info)) return false;
    name.Format("%s/%016" PRIx64 "-%016" PRIx64 ".%s", folder.c_str(), identity.volume, identity.file, extension);
    return !name.truncated();
}

// Created exclusively when missing; an existing one is used only when it is a regular file of the
// account's alone with no other name (a hard link from elsewhere would be another's way in).
int OpenPrivateFile(const DirectoryIdentity &identity, const char *extension) {
    FixedText<767> name;
    if (!PrivateFileName(name, identity, extension)) return -1;
    int descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
    descriptor = open(name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || !OwnersAlone(info) || info.st_nlink != 1) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

bool CurrentDirectoryIdentity(DirectoryIdentity &identity) {
    struct stat info;
    if (stat(".", &info) != 0) return false;
    identity.volume = static_cast<uint64_t>(info.st_dev);
    identity.file = static_cast<uint64_t>(info.st_ino);
    return true;
}

bool OpenLockFile(const DirectoryIdentity &identity) {
    lockDescriptor = OpenPrivateFile(identity, "lck");
    return lockDescriptor >= 0;
}

void CloseLockFile() {
    if (lockDescriptor >= 0) close(lockDescriptor);
    lockDescriptor = -1;
}

bool WaitForLock(uint32_t waitMs) {
    uint64_t until = MonotonicMilliseconds() + waitMs;
    for (;;) {
        if (flock(lockDescriptor, LOCK_EX | LOCK_NB) == 0) return true;
        if (MonotonicMilliseconds() >= until) return false;
        SleepMilliseconds(1);
    }
}

void UnlockLock() { flock(lockDescriptor, LOCK_UN); }

bool OpenMarksFile(const DirectoryIdentity &identity) {
    marksDescriptor = OpenPrivateFile(identity, "stp");
    return marksDescriptor >= 0;
}

void CloseMarksFile() {
    if (marksDescriptor >= 0) close(marksDescriptor);
    marksDescriptor = -1;
}

bool LockMark(bool exclusive) { return flock(marksDescriptor, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0; }

void UnlockMark() { flock(marksDescriptor, LOCK_UN); }

uint64_t ReadGeneration() {
    uint64_t generation = 0;
    if (pread(marksDescriptor, &generation, sizeof generation, 0) != static_cast<ssize_t>(sizeof generation))
        generation = 0;
    return generation;
}

void WriteGeneration(uint64_t generation) {
    // Unwritten, the next marked step looks like this one's successor: it is still marked on the
    // byte lock while under way, which is what the others check first.
    ssize_t written = pwrite(marksDescriptor, &generation, sizeof generation, 0);
    (void)written;
}

} // namespace platform
