#include "apps/helper/helper_sandbox.h"

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#ifdef __linux__
namespace {

// Debian 12's kernel headers stop at Landlock's second version; the later rights, by their values.
constexpr __u64 AccessTruncate = 1ULL << 14; // version 3
constexpr __u64 AccessIoctlDev = 1ULL << 15; // version 5
constexpr __u64 NetBindTcp = 1ULL << 0;      // version 4
constexpr __u64 NetConnectTcp = 1ULL << 1;
constexpr __u64 ScopeAbstractUnixSocket = 1ULL << 0; // version 6
constexpr __u64 ScopeSignal = 1ULL << 1;

// The ruleset's attributes as the newest kernels read them; older ones read a prefix.
struct RulesetAttributes {
    __u64 handledAccessFs;
    __u64 handledAccessNet;
    __u64 scoped;
};

size_t attributesSize(int abi) {
    return abi >= 6 ? sizeof(RulesetAttributes) : abi >= 4 ? 2 * sizeof(__u64) : sizeof(__u64);
}

int landlockAbi() {
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi < 0 ? 0 : int(abi);
}

// Every file-system right the kernel's Landlock knows; only those granted below remain.
__u64 handledFileAccess(int abi) {
    __u64 access = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
                   LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                   LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                   LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
                   LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        access |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        access |= AccessTruncate;
    if (abi >= 5)
        access |= AccessIoctlDev;
    return access;
}

bool allowReading(int ruleset, int fd, __u64 access) {
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access;
    rule.parent_fd = fd;
    return syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

// Files: only the input and the read-only folder can be opened, for reading. From version 4 on no
// TCP binding or connecting, from 6 on no abstract sockets or signals outside the process.
bool enterLandlock(int inputFd, const std::string& readOnlyFolder, std::string* refused) {
    const int abi = landlockAbi();
    if (abi == 0) {
        *refused += "Landlock is not available in this kernel; ";
        return false;
    }
    RulesetAttributes attributes{handledFileAccess(abi), 0, 0};
    if (abi >= 4)
        attributes.handledAccessNet = NetBindTcp | NetConnectTcp;
    if (abi >= 6)
        attributes.scoped = ScopeAbstractUnixSocket | ScopeSignal;
    const int ruleset = int(syscall(SYS_landlock_create_ruleset, &attributes, attributesSize(abi), 0));
    if (ruleset < 0) {
        *refused += std::string("Landlock refused a ruleset (") + std::strerror(errno) + "); ";
        return false;
    }
    bool ok = allowReading(ruleset, inputFd, LANDLOCK_ACCESS_FS_READ_FILE);
    if (ok && !readOnlyFolder.empty()) {
        const int folder = open(readOnlyFolder.c_str(), O_PATH | O_CLOEXEC);
        if (folder >= 0) {
            ok = allowReading(ruleset, folder, LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR);
            close(folder);
        }
    }
    ok = ok && syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    if (!ok)
        *refused += std::string("Landlock refused the rules (") + std::strerror(errno) + "); ";
    close(ruleset);
    return ok;
}

// The floor: system calls for reading what is open, opening for reading, writing to standard
// output and error, memory and the end. Anything else fails with EPERM, so a reader that tries it
// gets an error, not the thing.
bool enterSeccomp(std::string* refused) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter) {
        *refused += "seccomp is not available; ";
        return false;
    }
    for (const int call :
         {SCMP_SYS(read),       SCMP_SYS(pread64),       SCMP_SYS(readv),          SCMP_SYS(lseek),
          SCMP_SYS(fstat),      SCMP_SYS(newfstatat),    SCMP_SYS(statx),          SCMP_SYS(close),
          SCMP_SYS(mmap),       SCMP_SYS(munmap),        SCMP_SYS(mremap),         SCMP_SYS(mprotect),
          SCMP_SYS(brk),        SCMP_SYS(madvise),       SCMP_SYS(futex),          SCMP_SYS(exit),
          SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn),  SCMP_SYS(rt_sigprocmask), SCMP_SYS(getpid),
          SCMP_SYS(gettid),     SCMP_SYS(clock_gettime), SCMP_SYS(getrandom),      SCMP_SYS(fcntl),
          SCMP_SYS(getdents64), SCMP_SYS(sched_yield)})
        seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0);
    // Writing: standard output and standard error only.
    for (const int call : {SCMP_SYS(write), SCMP_SYS(writev)})
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO})
            seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd)));
    // Opening: for reading only, never creating, truncating or appending.
    const scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND | O_TMPFILE;
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, writing, 0));
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(open), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, writing, 0));
    const int loaded = seccomp_load(filter);
    seccomp_release(filter);
    if (loaded != 0)
        *refused += std::string("seccomp refused the filter (") + std::strerror(-loaded) + "); ";
    return loaded == 0;
}

} // namespace
#endif

std::string characterSetFolder() {
#ifdef __linux__
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&iconv_open), &info) && info.dli_fname) {
        std::string library = info.dli_fname;
        return library.substr(0, library.rfind('/')) + "/gconv";
    }
#endif
    return std::string();
}

SandboxOutcome enterSandbox(int inputFd, const std::string& readOnlyFolder) {
    SandboxOutcome outcome;
#ifdef __linux__
    // Neither mechanism may be given up, nor privileges gained through a program it starts.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    outcome.landlock = enterLandlock(inputFd, readOnlyFolder, &outcome.refused);
    outcome.seccomp = enterSeccomp(&outcome.refused);
#else
    (void)inputFd;
    (void)readOnlyFolder;
    outcome.refused = "no sandbox on this system; ";
#endif
    return outcome;
}
