#include "apps/helper/helper_limits.h"

#include "core/startup/helper_programs.h"

#include <csignal>
#include <new>
#ifdef __linux__
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

void lowerAddressSpace(std::uint64_t bytes) {
#ifdef __linux__
    const rlimit bound{rlim_t(bytes), rlim_t(bytes)};
    setrlimit(RLIMIT_AS, &bound);
#else
    (void)bytes;
#endif
}

void limitHelper(std::uint64_t addressSpaceBytes, unsigned cpuSeconds) {
#ifdef __linux__
    const auto limit = [](int resource, rlim_t value) {
        const rlimit bound{value, value};
        setrlimit(resource, &bound);
    };
    limit(RLIMIT_AS, rlim_t(addressSpaceBytes));
    limit(RLIMIT_CPU, cpuSeconds);
    limit(RLIMIT_FSIZE, 0);
    limit(RLIMIT_CORE, 0);
    // It ends with the program that asked, even one killed without a word.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1)
        _exit(4);
#else
    (void)addressSpaceBytes;
    (void)cpuSeconds;
#endif
    std::set_new_handler([] { _exit(helpers::OutOfMemoryStatus); });
}
