#include "SampleFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

CSampleFile::~CSampleFile() {
    if (m_fd >= 0) close(m_fd);
}

bool CSampleFile::Open(const std::string& path, int64_t dataOffset, int sampleBytes, int64_t sampleCount,
                       std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return false;
    }
    // The file may have changed since its header was checked.
    struct stat info {};
    const int64_t needed = dataOffset + sampleBytes * sampleCount;
    if (fstat(fd, &info) != 0 || info.st_size < needed) {
        close(fd);
        error = "file is truncated: " + std::to_string(info.st_size) + " bytes, header needs " +
                std::to_string(needed);
        return false;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (m_fd >= 0) close(m_fd);
    m_fd = fd;
    m_dataOffset = dataOffset;
    m_sampleBytes = sampleBytes;
    return true;
}

void CSampleFile::Read(int64_t first, int64_t count, void* out) const {
    auto* bytes = static_cast<char*>(out);
    int64_t offset = m_dataOffset + first * m_sampleBytes;
    int64_t left = count * m_sampleBytes;
    while (left > 0) {
        const ssize_t got = pread(m_fd, bytes, static_cast<size_t>(left), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
            throw std::runtime_error(got == 0 ? "file is truncated: it ended while being read"
                                              : "cannot read file: " + std::string(std::strerror(errno)));
        bytes += got;
        offset += got;
        left -= got;
    }
}
