#include "RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace {

constexpr const char* kKey = "recent/files";

}  // namespace

CRecentFiles::CRecentFiles(std::string settingsFile) : m_settingsFile(std::move(settingsFile)) {}

std::string CRecentFiles::DefaultSettingsFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath("orvanta/recent.conf").toStdString();
}

std::vector<std::string> CRecentFiles::Files() const {
    if (m_settingsFile.empty()) return m_files;
    const QSettings settings(QString::fromStdString(m_settingsFile), QSettings::IniFormat);
    std::vector<std::string> files;
    for (const QString& file : settings.value(kKey).toStringList()) {
        // A hand-edited file may hold anything; the menu shows what is sane.
        if (!file.isEmpty() && files.size() < kMaxFiles) files.push_back(file.toStdString());
    }
    m_files = files;
    return files;
}

void CRecentFiles::Add(const std::string& path) {
    if (path.empty()) return;
    const std::string absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    std::vector<std::string> files = Files();
    files.erase(std::remove(files.begin(), files.end(), absolute), files.end());
    files.insert(files.begin(), absolute);
    if (files.size() > kMaxFiles) files.resize(kMaxFiles);
    Store(files);
}

void CRecentFiles::Clear() {
    Store({});
}

void CRecentFiles::Store(const std::vector<std::string>& files) const {
    m_files = files;
    if (m_settingsFile.empty()) return;
    QSettings settings(QString::fromStdString(m_settingsFile), QSettings::IniFormat);
    QStringList list;
    for (const std::string& file : files) list << QString::fromStdString(file);
    settings.setValue(kKey, list);
}
