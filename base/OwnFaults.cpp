#include "OwnFaults.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>

// Present only in programs built with a sanitizer, whose fatal reports end
// with the callback it sets (a fuzzer saves its input there).
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)(void));

namespace {

// The bytes of address space this process holds, or 0 when they cannot be read.
uint64_t AddressSpaceBytes() {
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[64] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    unsigned long long pages = 0;
    if (got <= 0 || std::sscanf(text, "%llu", &pages) != 1) return 0;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

void DieOfOwnFaults(uint64_t memory) {
    for (const int number : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP}) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(number, &action, nullptr);
    }
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(nullptr);
    // A core file of a process the size of the viewer costs more than the crash.
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // The limit counts what the child inherited, so it is set from there;
    // addresses reserved without memory (a sanitizer's shadow) are part of it.
    struct rlimit space = {};
    const uint64_t held = AddressSpaceBytes();
    if (held > 0 && getrlimit(RLIMIT_AS, &space) == 0) {
        const uint64_t cap = held + memory;
        if (space.rlim_max == RLIM_INFINITY || cap < space.rlim_max) {
            space.rlim_cur = cap;
            setrlimit(RLIMIT_AS, &space);
        }
    }
}

