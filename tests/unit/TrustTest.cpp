// What the sensor trusts: the Windows decision on the security of well-known folders and of planted
// ones, the POSIX decision on real files (the tests run as root and give files to another account),
// the lock and marks of the account's own folder, the destination copy and the process's hardening.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDirectory.h"
#include "platform/DirectoryLock.h"
#include "platform/Platform.h"
#include "platform/Protection.h"
#include "platform/Trust.h"
#include "rfc/Rfc.h"
#include "rfc/RfcBinding.h"

namespace {

constexpr uid_t kOtherAccount = 4242;

// Access masks as Windows writes them.
constexpr uint32_t kFullControl = 0x001F01FF;
constexpr uint32_t kReadExecute = 0x001200A9;
constexpr uint32_t kModify = 0x001301BF;
constexpr uint32_t kAddSubdirectory = 0x00000004;
constexpr uint32_t kDeleteChild = 0x00000040;

SecurityFacts Facts(bool ownerTrusted, std::initializer_list<AccessEntry> entries) {
    SecurityFacts facts;
    facts.ownerTrusted = ownerTrusted;
    facts.daclPresent = true;
    for (const AccessEntry &entry : entries)
        facts.entries[facts.entryCount++] = entry;
    return facts;
}

AccessEntry Trusted(uint32_t mask) { return {true, false, mask}; }
AccessEntry Other(uint32_t mask, bool inheritOnly = false) { return {false, inheritOnly, mask}; }

TEST(TrustDecision, WindowsFoldersAsInstalled) {
    // C:\ (owner TrustedInstaller): administrators and SYSTEM full control, users read, authenticated
    // users may add folders, and what they create inherits Modify for them (inherit-only here).
    SecurityFacts driveRoot = Facts(true, {Trusted(kFullControl), Trusted(kFullControl), Other(kReadExecute),
                                           Other(kAddSubdirectory), Other(kModify, true)});
    EXPECT_EQ(JudgeSecurity(driveRoot, kFolderWriteRights), TrustFault::None);
    // A file with those rights would be one anyone may append to.
    EXPECT_EQ(JudgeSecurity(driveRoot, kFileWriteRights), TrustFault::WritableByOthers);
    // \Program Files (x86)\ and a profile the administrator wrote there.
    SecurityFacts programFiles = Facts(true, {Trusted(kFullControl), Trusted(kModify), Other(kReadExecute)});
    EXPECT_EQ(JudgeSecurity(programFiles, kFolderWriteRights), TrustFault::None);
    EXPECT_EQ(JudgeSecurity(programFiles, kFileWriteRights), TrustFault::None);
}

TEST(TrustDecision, WindowsPlantedOrOpenedUp) {
    // A folder another account made at C:\ is its own, whatever the rights say.
    EXPECT_EQ(JudgeSecurity(Facts(false, {Trusted(kFullControl)}), kFolderWriteRights), TrustFault::ForeignOwner);
    // Rights widened by an administrator: users may modify the file, or delete entries in the folder.
    EXPECT_EQ(JudgeSecurity(Facts(true, {Other(kModify)}), kFileWriteRights), TrustFault::WritableByOthers);
    EXPECT_EQ(JudgeSecurity(Facts(true, {Other(kReadExecute | kDeleteChild)}), kFolderWriteRights),
              TrustFault::WritableByOthers);
    EXPECT_EQ(JudgeSecurity(Facts(true, {Other(0x10000000u)}), kFolderWriteRights), TrustFault::WritableByOthers);
    // No DACL at all lets everyone do everything; entries that did not fit are not assumed harmless.
    SecurityFacts noDacl = Facts(true, {});
    noDacl.daclPresent = false;
    EXPECT_EQ(JudgeSecurity(noDacl, kFileWriteRights), TrustFault::WritableByOthers);
    SecurityFacts cut = Facts(true, {Trusted(kFullControl)});
    cut.entriesCut = true;
    EXPECT_EQ(JudgeSecurity(cut, kFileWriteRights), TrustFault::WritableByOthers);
    // The lock's folder: another account may not even read it.
    EXPECT_EQ(JudgeSecurity(Facts(true, {Other(kReadExecute)}), kAnyRights), TrustFault::WritableByOthers);
}

bool Root() { return geteuid() == 0; }

TEST(TrustDecision, PosixFilesAndTheFoldersOnTheirWay) {
    TempDirectory dir; // 0700, the account's own, below /tmp (sticky)
    dir.Write("PRD.P00", "x");
    chmod("PRD.P00", 0644);
    EXPECT_EQ(CheckTrustedFile("PRD.P00"), TrustFault::None);
    EXPECT_EQ(CheckTrustedFile((dir.path() / "PRD.P00").c_str()), TrustFault::None);
    chmod("PRD.P00", 0664);
    EXPECT_EQ(CheckTrustedFile("PRD.P00"), TrustFault::WritableByOthers);
    chmod("PRD.P00", 0644);
    EXPECT_EQ(CheckTrustedFile("missing.P00"), TrustFault::Unknown);
    // A folder on the way that others may write: what lies in it may be replaced...
    dir.Write("open/PRD.P00", "x");
    chmod("open", 0777);
    EXPECT_EQ(CheckTrustedFile("open\\PRD.P00"), TrustFault::WritableByOthers);
    // ...unless the sticky bit keeps others' hands off entries not their own (as in /tmp).
    chmod("open", 01777);
    EXPECT_EQ(CheckTrustedFile("open\\PRD.P00"), TrustFault::None);
    // A link in a safe folder that leads into an open one is judged by where it leads.
    chmod("open", 0777);
    std::filesystem::create_directory_symlink(dir.path() / "open", "safe");
    EXPECT_EQ(CheckTrustedFile("safe\\PRD.P00"), TrustFault::WritableByOthers);
    if (!Root()) GTEST_SKIP() << "giving files to another account needs root";
    chmod("open", 0755);
    EXPECT_EQ(CheckTrustedFile("safe\\PRD.P00"), TrustFault::None);
    ASSERT_EQ(chown("open/PRD.P00", kOtherAccount, -1), 0);
    EXPECT_EQ(CheckTrustedFile("open\\PRD.P00"), TrustFault::ForeignOwner);
    ASSERT_EQ(chown("open", kOtherAccount, -1), 0);
    EXPECT_EQ(CheckTrustedFile("safe\\PRD.P00"), TrustFault::ForeignOwner);
    EXPECT_STREQ(TrustFaultText(TrustFault::ForeignOwner), "owned by another account");
    EXPECT_STREQ(TrustFaultText(TrustFault::WritableByOthers), "writable by others");
}

// The lock and the marks live in "$TMPDIR/marrowind-<uid>": a folder or file there that another
// account owns, or may reach, is refused, and the lock counts as not had.
TEST(DirectoryLockSafety, RefusedWhereAnotherAccountCouldReach) {
    if (!Root()) GTEST_SKIP() << "giving files to another account needs root";
    TempDirectory temporary;
    std::string previous = getenv("TMPDIR") != nullptr ? getenv("TMPDIR") : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);
    std::filesystem::path folder = temporary.path() / ("marrowind-" + std::to_string(geteuid()));
    int fresh = 0;
    auto lockInFreshDirectory = [&] {
        // A directory of a new identity (kept, so no inode comes back): the lock is looked up again.
        std::string name = (temporary.path() / ("work" + std::to_string(++fresh))).string();
        std::filesystem::create_directory(name);
        if (chdir(name.c_str()) != 0) return true;
        bool locked = AcquireDirectoryLock(50);
        ReleaseDirectoryLock();
        TraceStepMark mark;
        BeginTraceStepMark(mark, true);
        bool alone = EndTraceStepMark(mark);
        return locked && alone;
    };
    EXPECT_TRUE(lockInFreshDirectory());
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    chmod(folder.c_str(), 0755);
    EXPECT_FALSE(lockInFreshDirectory());
    chmod(folder.c_str(), 0700);
    ASSERT_EQ(chown(folder.c_str(), kOtherAccount, -1), 0);
    EXPECT_FALSE(lockInFreshDirectory());
    ASSERT_EQ(chown(folder.c_str(), geteuid(), -1), 0);
    // A lock file another account planted (or could write) for this directory is refused too.
    {
        std::filesystem::create_directory(temporary.path() / "planted");
        ASSERT_EQ(chdir((temporary.path() / "planted").c_str()), 0);
        struct stat info;
        ASSERT_EQ(stat(".", &info), 0);
        char name[64];
        snprintf(name, sizeof name, "%016llx-%016llx.lck", static_cast<unsigned long long>(info.st_dev),
                 static_cast<unsigned long long>(info.st_ino));
        std::ofstream(folder / name) << "";
        ASSERT_EQ(chown((folder / name).c_str(), kOtherAccount, -1), 0);
        EXPECT_FALSE(AcquireDirectoryLock(50));
        std::filesystem::remove(folder / name);
        std::filesystem::create_symlink("/dev/null", folder / name);
        EXPECT_FALSE(AcquireDirectoryLock(50));
        std::filesystem::remove(folder / name);
        EXPECT_TRUE(AcquireDirectoryLock(50));
        ReleaseDirectoryLock();
    }
    if (previous.empty()) {
        unsetenv("TMPDIR");
    } else {
        setenv("TMPDIR", previous.c_str(), 1);
    }
}

// One directory reached by two spellings has one lock.
TEST(DirectoryLockSafety, OneLockForTheDirectoryUnderAnyName) {
    TempDirectory dir;
    std::filesystem::create_directory("real");
    std::filesystem::create_directory_symlink(dir.path() / "real", "alias");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        char byte = chdir("real") == 0 && AcquireDirectoryLock(1000) ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        SleepMilliseconds(3000);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    ASSERT_EQ(chdir("alias"), 0);
    EXPECT_FALSE(AcquireDirectoryLock(50));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(AcquireDirectoryLock(1000));
    ReleaseDirectoryLock();
}

std::string Read(const char *name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// "SapRfc.ini" holds every destination of the directory (a line end between files that lack one),
// so an open of another run at the same moment finds its own; copies left by ended processes go.
TEST(DestinationCopy, HoldsEveryDestinationAndRemovesDeadCopies) {
    TempDirectory dir;
    FixedText<127> error;
    ASSERT_TRUE(BindRfcLibrary(error)) << error.c_str();
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    std::string dead = "SapRfc.ini." + std::to_string(ended) + ".tmp";
    std::string alive = "SapRfc.ini." + std::to_string(getppid()) + ".tmp";
    dir.Write("SapRfc.AAA", "DEST=AAA\nASHOST=one"); // no line end
    dir.Write("SapRfc.PRD", "DEST=PRD\nASHOST=two\n");
    dir.Write(dead, "half");
    dir.Write(alive, "under way");
    ConnectionFields fields;
    fields.destination.Assign("PRD");
    ConnectionOverrides overrides;
    static RfcOpenRecords records;
    FixedText<127> failure;
    OpenRfcConnection(fields, overrides, records, failure); // no landscape: the open fails
    EXPECT_TRUE(failure.empty()) << failure.c_str();
    EXPECT_EQ(Read("SapRfc.ini"), "DEST=AAA\nASHOST=one\nDEST=PRD\nASHOST=two\n");
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_TRUE(std::filesystem::exists(alive));
    struct stat info;
    ASSERT_EQ(stat("SapRfc.ini", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The same destinations again: nothing rewritten.
    ino_t written = info.st_ino;
    OpenRfcConnection(fields, overrides, records, failure);
    ASSERT_EQ(stat("SapRfc.ini", &info), 0);
    EXPECT_EQ(info.st_ino, written);
    // The password is not kept after the open.
    fields.password.Assign("secret");
    OpenRfcConnection(fields, overrides, records, failure);
    EXPECT_TRUE(records.copies.password.empty());
}

TEST(PrivateFiles, NewOnlyNeverThroughALinkOwnerOnly) {
    TempDirectory dir;
    FILE *file = CreatePrivateFile("new.tmp");
    ASSERT_NE(file, nullptr);
    fclose(file);
    struct stat info;
    ASSERT_EQ(stat("new.tmp", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(CreatePrivateFile("new.tmp"), nullptr);
    dir.Write("victim", "kept");
    std::filesystem::create_symlink(dir.path() / "victim", "planted.tmp");
    EXPECT_EQ(CreatePrivateFile("planted.tmp"), nullptr);
    EXPECT_EQ(Read("victim"), "kept");
}

// After the hardening a crash leaves no core, and created files are the account's alone.
TEST(PrivateFiles, HardenedProcessDumpsNothing) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HardenProcess();
        struct rlimit core {};
        getrlimit(RLIMIT_CORE, &core);
        mode_t mask = umask(0);
        _exit(core.rlim_cur == 0 && core.rlim_max == 0 && prctl(PR_GET_DUMPABLE) == 0 && mask == 077 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
