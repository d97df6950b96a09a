#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One archive of the preferences: reached over DIMSE (AE title, host, port)
// or over DICOMweb (a base URL). Passwords and tokens are never kept here.
struct CPacsServerEntry {
    std::string name;
    std::string aet;
    std::string host;
    int port = 104;
    std::string url;  // set for a DICOMweb server

    bool IsDicomWeb() const { return !url.empty(); }
    // Why the entry cannot be used ("the port must be 1 to 65535"), or "".
    // AE titles follow the network client's rule (CPacsServer::CheckAeTitle).
    std::string Fault() const;
    friend bool operator==(const CPacsServerEntry&, const CPacsServerEntry&) = default;
};

// The archives, our AE title and the cache's size, kept in the user's
// settings beside File > Open Recent.
struct CPacsServerList {
    // Our AE title as an entry's is checked; "" when it may be used.
    std::string OurAetFault() const;
    std::vector<CPacsServerEntry> servers;
    std::string ourAet = "ORVANTA";
    uint64_t cacheMegabytes = 4096;
    int timeoutSeconds = 30;

    // Read from, and written to, `settingsFile` (the default settings file for "").
    static CPacsServerList Load(const std::string& settingsFile = "");
    void Save(const std::string& settingsFile = "") const;
};
