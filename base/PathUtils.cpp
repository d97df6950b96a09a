#include "PathUtils.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>

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
