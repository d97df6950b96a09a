#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

// A file that lives in memory only, for libraries that write to a named file
// and check none of their writes: they write here, where nothing but memory
// can run out, and the caller writes the bytes to disk with every write
// checked. Used by the mesh codec modules.
class CMemoryFile {
public:
    // With `extension` (".ply"), the file also gets a name ending in it, for
    // libraries that insist on one: a link in a fresh temporary folder.
    explicit CMemoryFile(const char* extension = nullptr) : m_fd(memfd_create("orvanta-mesh", MFD_CLOEXEC)) {
        if (m_fd < 0)
            throw std::runtime_error(std::string("cannot make a file in memory: ") + std::strerror(errno));
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
        if (extension == nullptr) return;
        const char* base = std::getenv("TMPDIR");
        std::string folder =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvanta-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) {
            const int error = errno;
            close(m_fd);
            throw std::runtime_error(std::string("cannot make a temporary folder: ") + std::strerror(error));
        }
        m_folder = folder;
        m_link = folder + "/mesh" + extension;
        if (symlink(m_path.c_str(), m_link.c_str()) != 0) {
            const int error = errno;
            Release();
            throw std::runtime_error(std::string("cannot make a temporary link: ") + std::strerror(error));
        }
        m_path = m_link;
    }
    ~CMemoryFile() { Release(); }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    // A name under which fopen and C++ streams open this file.
    const std::string& Path() const { return m_path; }

    // Everything written to the file.
    std::string Bytes() const {
        const off_t size = lseek(m_fd, 0, SEEK_END);
        if (size < 0)
            throw std::runtime_error(std::string("cannot read a file in memory: ") + std::strerror(errno));
        std::string bytes(static_cast<size_t>(size), '\0');
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got =
                pread(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) throw std::runtime_error("cannot read a file in memory");
            done += static_cast<size_t>(got);
        }
        return bytes;
    }

private:
    void Release() {
        if (!m_link.empty()) std::remove(m_link.c_str());
        if (!m_folder.empty()) rmdir(m_folder.c_str());
        close(m_fd);
    }

    int m_fd;
    std::string m_path, m_folder, m_link;
};
