#pragma once

#include <functional>
#include <string>
#include <vector>

// Search and retrieve from a DICOMweb archive over HTTP(S): QIDO-RS searches
// of studies and series, and WADO-RS retrieves of a series, read as it
// arrives. The calls block, running a local event loop, so the headless path
// can use them as they are; a QCoreApplication must exist.
//
// HTTPS certificates are always checked. A bearer token comes from the
// settings (a dialog that asked) or ORVANTA_DICOMWEB_TOKEN; else basic auth,
// the user from the settings, the URL or ORVANTA_DICOMWEB_USER and the
// password from the settings or ORVANTA_DICOMWEB_PASSWORD, never the URL.
// Credentials live in memory only, and go over plain http only to this machine.
//
// Every failure throws std::runtime_error with one line naming the server
// (the base URL without credentials) and the step: "QIDO-RS search" or
// "WADO-RS retrieve".
class CDicomWebClient {
public:
    struct Settings {
        // How long the server may stay silent, while connecting or in the
        // middle of an answer, before the request fails.
        int timeoutSeconds = 30;
        // A PEM file of certificate authorities to trust besides the
        // system's, for an archive whose certificate a hospital's own
        // authority signed. Empty: the system's only.
        std::string caCertificatesFile;
        // Credentials the user typed; empty ones come from the environment.
        std::string token;
        std::string user;
        std::string password;
    };

    // Filters of a search; empty ones match everything. Names and IDs take
    // the wildcards * and ?; dates are YYYYMMDD, either end of the range open.
    struct Query {
        std::string patientName;
        std::string patientId;
        std::string studyDateFrom;
        std::string studyDateTo;
        std::string studyUid;
        std::string modality;
        std::string seriesUid;
    };

    // One study or series found. A study leaves the series fields empty and
    // gives its modalities, backslash-separated, as `modality`.
    struct Series {
        std::string patientName;
        std::string patientId;
        std::string studyDate;
        std::string studyUid;
        std::string seriesUid;
        std::string seriesNumber;
        std::string seriesDescription;
        std::string modality;
        int images = -1;  // -1: the archive did not say
    };

    // Called after each image received with the count so far and the count
    // expected (-1 when unknown); returning false cancels the retrieve.
    using Progress = std::function<bool(int received, int expected)>;

    // `baseUrl` is the archive's DICOMweb root, http(s)://host[:port]/path.
    // Throws (step "connection") when it is not such a URL or holds a password.
    explicit CDicomWebClient(const std::string& baseUrl);
    CDicomWebClient(const std::string& baseUrl, Settings settings);

    // The base URL without credentials, as messages name the server.
    const std::string& ServerText() const { return m_serverText; }

    // Asks for at most one study, so that a server's settings can be tried:
    // throws as a search does when the server does not answer as one.
    void Verify() const;
    // Studies matching the query's patient, date, modality and study filters;
    // an empty list when none does.
    std::vector<Series> SearchStudies(const Query& query) const;
    // Series matching the query, each with its study's fields.
    std::vector<Series> SearchSeries(const Query& query) const;
    // Writes each object of the series into `folder` (which must exist) as
    // 00001.dcm, 00002.dcm, ... and returns how many; a name the folder
    // already holds is a failure, never overwritten. On any failure, a
    // cancel included, the files it wrote are removed before it throws.
    int RetrieveSeries(const std::string& studyUid, const std::string& seriesUid, const std::string& folder,
                       int expected, const Progress& progress) const;
    // Every object of the study, every series in the one folder, as above.
    int RetrieveStudy(const std::string& studyUid, const std::string& folder, int expected,
                      const Progress& progress) const;

private:
    [[noreturn]] void Throw(const char* step, const std::string& what) const;
    std::vector<Series> Search(const std::string& path, const std::string& query, bool studies) const;
    void FillStudyFields(std::vector<Series>& series) const;
    int Retrieve(const std::string& path, const std::string& folder, int expected,
                 const Progress& progress) const;
    // The checked UIDs and dates, and the patient and date filters as query text.
    std::string PatientFilters(const Query& query) const;

    std::string m_base;        // the URL's encoded form, no trailing slash
    std::string m_serverText;  // the same without credentials
    std::string m_authorization;
    Settings m_settings;
};
