#pragma once

#include <string>
#include <vector>

// The files and workspaces opened or saved last, newest first, kept in a
// small settings file so that they outlast the window.
class CRecentFiles {
public:
    static constexpr size_t kMaxFiles = 10;

    // Kept in `settingsFile`; "" keeps them in memory only.
    explicit CRecentFiles(std::string settingsFile);

    // The user's own list, under the configuration folder (XDG).
    static std::string DefaultSettingsFile();

    // Puts `path` (made absolute) first; an older entry of it goes, and so
    // does the oldest beyond kMaxFiles.
    void Add(const std::string& path);
    // The list as saved, newest first; entries read from the settings file
    // again, so windows of two running viewers share it.
    std::vector<std::string> Files() const;
    void Clear();

private:
    void Store(const std::vector<std::string>& files) const;

    std::string m_settingsFile;
    mutable std::vector<std::string> m_files;
};
