#include "PathUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

std::string PathWithoutExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(0, dot);
}

std::string PathExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(dot + 1);
}

std::string FileNameOfPath(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path) {
    // fopen succeeds on a folder on Linux, so check the kind of entry first.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    const size_t start = text.size() - ending.size();
    for (size_t i = 0; i < ending.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[start + i])) !=
            std::tolower(static_cast<unsigned char>(ending[i])))
            return false;
    return true;
}

int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary;
    const int fd = CreateTemporaryBeside(path, temporary);
    bool written = fd >= 0;
    for (size_t at = 0; written && at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        written = n > 0 || (n < 0 && errno == EINTR);
        if (n > 0) at += static_cast<size_t>(n);
    }
    const int why = errno;
    if (fd >= 0 && close(fd) != 0 && written) written = false;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(written ? errno : why);
    if (fd >= 0) unlink(temporary.c_str());
    return false;
}
