#include "FileMapping.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// The guarded mappings, read by the signal handler: a free slot has begin 0.
struct GuardSlot {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
constexpr int kSlots = 256;
GuardSlot g_slots[kSlots];
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;

// A read of a mapped page the file no longer holds: the pages from there to
// the mapping's end become empty anonymous ones, so the read is done again
// and finds zeros. Anything else goes to whoever handled SIGBUS before.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (GuardSlot& slot : g_slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end) continue;
        const uintptr_t page = address & ~(g_pageSize - 1);
        void* empty = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (empty != MAP_FAILED) {
            slot.cut.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_IGN && g_previous.sa_handler != SIG_DFL) {
        g_previous.sa_handler(signal);
    } else {
        // The fault comes again on return and ends the program as it would have.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGBUS, &fallback, nullptr);
    }
}

void InstallGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previous);
    });
}

int ClaimSlot(uintptr_t begin, uintptr_t end) {
    for (int i = 0; i < kSlots; ++i) {
        uintptr_t free = 0;
        if (g_slots[i].begin.compare_exchange_strong(free, begin, std::memory_order_acq_rel)) {
            g_slots[i].cut.store(false, std::memory_order_relaxed);
            g_slots[i].end.store(end, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

int64_t ModifiedNs(const struct stat& info) {
    return int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
}

}  // namespace

std::shared_ptr<const CFileMapping> CFileMapping::Open(const std::string& path, int64_t bytes,
                                                       std::string& error) {
    InstallGuard();
    std::shared_ptr<CFileMapping> mapping(new CFileMapping());
    mapping->m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (mapping->m_fd < 0) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return nullptr;
    }
    struct stat info {};
    if (fstat(mapping->m_fd, &info) != 0 || info.st_size < bytes) {
        error = "the file is truncated: " + std::to_string(info.st_size) + " bytes, its header announces " +
                std::to_string(bytes);
        return nullptr;
    }
    mapping->m_fileSize = info.st_size;
    mapping->m_modified = ModifiedNs(info);
    mapping->m_size = bytes;
    if (bytes == 0) return mapping;
    mapping->m_mappedSize = static_cast<size_t>(bytes);
    void* data = mmap(nullptr, mapping->m_mappedSize, PROT_READ, MAP_SHARED, mapping->m_fd, 0);
    if (data == MAP_FAILED) {
        error = "cannot map file: " + std::string(std::strerror(errno));
        return nullptr;
    }
    mapping->m_data = static_cast<uint8_t*>(data);
    const auto begin = reinterpret_cast<uintptr_t>(data);
    mapping->m_slot = ClaimSlot(begin, begin + mapping->m_mappedSize);
    return mapping;
}

CFileMapping::~CFileMapping() {
    if (m_slot >= 0) {
        g_slots[m_slot].end.store(0, std::memory_order_release);
        g_slots[m_slot].begin.store(0, std::memory_order_release);
    }
    if (m_data != nullptr) munmap(m_data, m_mappedSize);
    if (m_fd >= 0) close(m_fd);
}

bool CFileMapping::Changed() const {
    if (m_slot >= 0 && g_slots[m_slot].cut.load(std::memory_order_acquire)) return true;
    struct stat info {};
    if (m_fd < 0 || fstat(m_fd, &info) != 0) return false;
    return info.st_size != m_fileSize || ModifiedNs(info) != m_modified;
}

void CFileMapping::Advise(int advice) const {
    if (m_data != nullptr) madvise(m_data, m_mappedSize, advice);
}
