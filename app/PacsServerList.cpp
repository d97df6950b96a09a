#include "PacsServerList.h"

#include <QSettings>

#include "PacsServer.h"
#include "RecentFiles.h"

namespace {

QString SettingsPath(const std::string& file) {
    return QString::fromStdString(file.empty() ? CRecentFiles::DefaultSettingsFile() : file);
}

// An AE title as the network client takes one (CPacsServer's rule).
bool ValidAeTitle(const std::string& title) {
    std::string ignored;
    return CPacsServer::CheckAeTitle(title, ignored);
}

}  // namespace

std::string CPacsServerEntry::Fault() const {
    if (name.empty()) return "the server needs a name";
    if (IsDicomWeb())
        return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0
                   ? ""
                   : "a DICOMweb address starts with https:// or http://";
    if (!ValidAeTitle(aet)) return "the AE title must be 1 to 16 printable characters without a backslash";
    if (host.empty()) return "the server needs a host";
    if (port < 1 || port > 65535) return "the port must be 1 to 65535";
    return "";
}

std::string CPacsServerList::OurAetFault() const {
    return ValidAeTitle(ourAet) ? ""
                                : "Our AE title must be 1 to 16 printable characters without a backslash.";
}

CPacsServerList CPacsServerList::Load(const std::string& settingsFile) {
    QSettings settings(SettingsPath(settingsFile), QSettings::IniFormat);
    CPacsServerList list;
    const int count = settings.beginReadArray("pacs/servers");
    for (int i = 0; i < count && i < 100; ++i) {
        settings.setArrayIndex(i);
        CPacsServerEntry entry;
        entry.name = settings.value("name").toString().toStdString();
        entry.aet = settings.value("aet").toString().toStdString();
        entry.host = settings.value("host").toString().toStdString();
        entry.port = settings.value("port", 104).toInt();
        entry.url = settings.value("url").toString().toStdString();
        // A hand-edited file may hold anything; what cannot be used is left out.
        if (entry.Fault().empty()) list.servers.push_back(entry);
    }
    settings.endArray();
    const std::string aet = settings.value("pacs/our_aet", "ORVANTA").toString().toStdString();
    if (ValidAeTitle(aet)) list.ourAet = aet;
    const qulonglong megabytes = settings.value("pacs/cache_megabytes", 4096).toULongLong();
    if (megabytes >= 16 && megabytes <= (qulonglong{1} << 24)) list.cacheMegabytes = megabytes;
    const int timeout = settings.value("pacs/timeout_seconds", 30).toInt();
    if (timeout >= 1 && timeout <= 3600) list.timeoutSeconds = timeout;
    return list;
}

void CPacsServerList::Save(const std::string& settingsFile) const {
    QSettings settings(SettingsPath(settingsFile), QSettings::IniFormat);
    settings.remove("pacs/servers");
    settings.beginWriteArray("pacs/servers", static_cast<int>(servers.size()));
    for (size_t i = 0; i < servers.size(); ++i) {
        settings.setArrayIndex(static_cast<int>(i));
        const CPacsServerEntry& entry = servers[i];
        settings.setValue("name", QString::fromStdString(entry.name));
        settings.setValue("aet", QString::fromStdString(entry.aet));
        settings.setValue("host", QString::fromStdString(entry.host));
        settings.setValue("port", entry.port);
        settings.setValue("url", QString::fromStdString(entry.url));
    }
    settings.endArray();
    settings.setValue("pacs/our_aet", QString::fromStdString(ourAet));
    settings.setValue("pacs/cache_megabytes", static_cast<qulonglong>(cacheMegabytes));
    settings.setValue("pacs/timeout_seconds", timeoutSeconds);
}
