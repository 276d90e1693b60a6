// What the directory lock and the step marks need of the operating system (DirectoryLockPosix.cpp,
// DirectoryLockWindows.cpp); the rules of both are in DirectoryLock.cpp. Only for those files.
#pragma once

#include <cstdint>

namespace platform {

// The working directory by identity, not by spelling: device and inode (volume serial number and
// file ID on Windows), so a bind mount, a junction or a subst drive finds the same lock.
struct DirectoryIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const DirectoryIdentity &other) const { return volume == other.volume && file == other.file; }
};
bool CurrentDirectoryIdentity(DirectoryIdentity &identity);

// The lock and the marks live in a folder of the sensor's account that no other account may
// write, in files of their own for each working directory, created exclusively and owner-only.
// An existing folder or file that another account owns or may write is refused: false.
bool OpenLockFile(const DirectoryIdentity &identity);
void CloseLockFile();
// Takes the lock, waiting at most waitMs; a process that ends drops it.
bool WaitForLock(uint32_t waitMs);
void UnlockLock();

bool OpenMarksFile(const DirectoryIdentity &identity);
void CloseMarksFile();
// The mark byte, without waiting: shared by each marked step under way.
bool LockMark(bool exclusive);
void UnlockMark();
// The count of marked steps begun (a file too short for it counts none).
uint64_t ReadGeneration();
void WriteGeneration(uint64_t generation);

} // namespace platform
