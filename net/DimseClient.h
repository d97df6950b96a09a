#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PacsServer.h"

// Query and retrieve from a DICOM archive over DIMSE: C-ECHO, C-FIND at study
// and series level, C-GET, and C-MOVE to a storage service of our own that
// runs only during the retrieve. The network library lives in the
// orvanta-dimse module, which the first use brings in, so that starting the
// program never loads it.
//
// Every failure throws std::runtime_error with one line naming the server
// (AET@HOST:PORT) and the step: association, C-ECHO, C-FIND, C-GET, C-MOVE.
class CDimseClient {
public:
    struct Settings {
        std::string ourAet = "ORVANTA";
        // How long to wait for the connection, the association and each
        // answer; the default suits a hospital archive under load.
        int timeoutSeconds = 30;
    };

    // Filters of a query; empty ones match everything. Names and IDs take the
    // wildcards * and ?; dates are YYYYMMDD, either end of the range open.
    struct Query {
        std::string patientName;
        std::string patientId;
        std::string studyDateFrom;
        std::string studyDateTo;
        std::string studyUid;
        std::string studyDescription;
        std::string modality;
        std::string seriesDescription;
        std::string seriesUid;
    };

    struct Study {
        std::string patientName;
        std::string patientId;
        std::string studyDate;
        std::string studyUid;
        std::string studyDescription;
        std::string modalities;  // Modalities in Study, backslash-separated
        int images = -1;         // -1: the archive did not say
    };

    struct Series {
        Study study;
        std::string seriesUid;
        std::string seriesNumber;
        std::string seriesDescription;
        std::string modality;
        int images = -1;  // -1: the archive did not say
    };

    enum class EMethod { kGet, kMove };

    // What to retrieve: a series when `seriesUid` is set (with its study, when
    // known), else the whole study.
    struct Retrieval {
        std::string studyUid;
        std::string seriesUid;
        EMethod method = EMethod::kGet;
        int movePort = 11113;  // where our storage service listens for C-MOVE
        int expected = -1;     // images expected, when a query has told; -1 unknown
    };

    // Called after each image received with the count so far and the count
    // expected (-1 when unknown); returning false cancels the retrieve.
    using Progress = std::function<bool(int received, int expected)>;

    // The client, loading the module on first use. Throws std::runtime_error
    // when it cannot be loaded.
    static const CDimseClient& Get();

    virtual void Echo(const CPacsServer& server, const Settings& settings) const = 0;
    virtual std::vector<Study> FindStudies(const CPacsServer& server, const Settings& settings,
                                           const Query& query) const = 0;
    // The series of every study the query's study filters match, narrowed by
    // its series filters, each with its study's fields.
    virtual std::vector<Series> FindSeries(const CPacsServer& server, const Settings& settings,
                                           const Query& query) const = 0;
    // Writes every image received into `folder` (which must exist) and
    // returns how many. Throws when the retrieve fails, is cancelled or
    // brings nothing, leaving in `folder` what had arrived.
    virtual int Retrieve(const CPacsServer& server, const Settings& settings, const Retrieval& retrieval,
                         const std::string& folder, const Progress& progress) const = 0;

protected:
    ~CDimseClient() = default;
};
