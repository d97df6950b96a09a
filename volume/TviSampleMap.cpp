#include "TviSampleMap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "PageAdvice.h"
#include "TviFile.h"

CTviSampleMap::~CTviSampleMap() {
    if (m_mapping != nullptr) munmap(m_mapping, m_mappingSize);
}

bool CTviSampleMap::Open(const std::string& path, int64_t sampleCount, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return false;
    }
    // The file may have changed since its header was checked.
    struct stat info {};
    const int64_t needed = CTviFile::kHeaderSize + 2 * sampleCount;
    if (fstat(fd, &info) != 0 || info.st_size < needed) {
        close(fd);
        error = "file is truncated: " + std::to_string(info.st_size) + " bytes, header needs " +
                std::to_string(needed);
        return false;
    }
    m_mappingSize = static_cast<size_t>(needed);
    void* mapping = mmap(nullptr, m_mappingSize, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (mapping == MAP_FAILED) {
        error = "cannot map file: " + std::string(std::strerror(errno));
        return false;
    }
    madvise(mapping, m_mappingSize, MADV_SEQUENTIAL);
    m_mapping = mapping;
    m_samples = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(mapping) + CTviFile::kHeaderSize);
    return true;
}

void CTviSampleMap::Advise(int64_t begin, int64_t end, int advice, bool partial) const {
    AdvisePages(m_samples + begin, m_samples + end, advice, partial);
}

void CTviSampleMap::WillNeed(int64_t begin, int64_t end) const { Advise(begin, end, MADV_WILLNEED, true); }

void CTviSampleMap::Release(int64_t begin, int64_t end) const { Advise(begin, end, MADV_DONTNEED, false); }
