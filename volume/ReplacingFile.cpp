#include "ReplacingFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "PathUtils.h"

CReplacingFile::~CReplacingFile() {
    if (m_gz != nullptr) gzclose(m_gz);
    if (m_fd >= 0) close(m_fd);
    if (!m_temporary.empty()) unlink(m_temporary.c_str());
}

bool CReplacingFile::Open(const std::string& path, bool compress, std::string& error) {
    m_path = path;
    m_fd = CreateTemporaryBeside(path, m_temporary);
    if (m_fd < 0) {
        m_temporary.clear();
        return Fail(error);
    }
    if (compress) {
        // zlib owns the descriptor from here on.
        m_gz = gzdopen(m_fd, "wb6");
        if (m_gz == nullptr) return Fail(error);
        m_fd = -1;
        gzbuffer(m_gz, 1 << 20);
    }
    return true;
}

bool CReplacingFile::WriteAt(const void* data, size_t bytes, int64_t offset) {
    const char* at = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t written = pwrite(m_fd, at, std::min<size_t>(bytes, size_t{1} << 30), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            int none = 0;
            m_errno.compare_exchange_strong(none, errno != 0 ? errno : EIO);
            return false;
        }
        at += written;
        offset += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

bool CReplacingFile::Write(const void* data, size_t bytes) {
    if (m_gz == nullptr) {
        const int64_t offset = m_written;
        m_written += static_cast<int64_t>(bytes);
        return WriteAt(data, bytes, offset);
    }
    const char* at = static_cast<const char*>(data);
    while (bytes > 0) {
        // gzwrite takes an unsigned count.
        const unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes, size_t{1} << 30));
        const int written = gzwrite(m_gz, at, chunk);
        if (written <= 0) {
            int none = 0;
            m_errno.compare_exchange_strong(none, errno != 0 ? errno : EIO);
            return false;
        }
        at += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

bool CReplacingFile::Commit(std::string& error) {
    if (m_errno != 0) {
        errno = m_errno;
        return Fail(error);
    }
    errno = 0;
    const int closed = m_gz != nullptr ? (gzclose(m_gz) == Z_OK ? 0 : -1) : close(m_fd);
    m_gz = nullptr;
    m_fd = -1;
    if (closed != 0 || std::rename(m_temporary.c_str(), m_path.c_str()) != 0) return Fail(error);
    m_temporary.clear();
    return true;
}

bool CReplacingFile::Fail(std::string& error) const {
    error = std::string("cannot write ") + m_path + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
}
