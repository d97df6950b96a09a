#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct CPacsServerEntry;
struct CPacsServerList;

// An archive the viewer can search and retrieve from, whatever it speaks
// (DIMSE or DICOMweb): the dialog and the command line use only this. Every
// failure throws std::runtime_error with one line naming the server and the
// step, which the caller shows as it is.
class CPacsSource {
public:
    // Filters of a search; empty ones match everything. Names and IDs take
    // the wildcards * and ?; dates are YYYYMMDD, either end of the range open.
    struct CQuery {
        std::string patientName;
        std::string patientId;
        std::string studyDateFrom;
        std::string studyDateTo;
        std::string studyUid;
        std::string seriesUid;
        std::string modality;
        std::string description;  // the study's or the series' description
    };
    // One series found, with its study's fields.
    struct CSeries {
        std::string patientName;
        std::string patientId;
        std::string studyDate;
        std::string studyUid;
        std::string studyDescription;
        std::string seriesUid;
        std::string seriesNumber;
        std::string seriesDescription;
        std::string modality;
        int images = -1;  // -1: the archive did not say
    };
    // Called after each image with the count so far and the count expected
    // (-1 unknown); false cancels the retrieve.
    using Progress = std::function<bool(int received, int expected)>;

    virtual ~CPacsSource() = default;
    // "AET@HOST:PORT" or the base URL, as messages name the server.
    virtual std::string Name() const = 0;
    // The step a search is ("C-FIND", "QIDO-RS search"), as faults name it.
    virtual std::string SearchStep() const = 0;
    // C-ECHO, or a small search: throws when the server does not answer as one.
    virtual void Test() = 0;
    virtual std::vector<CSeries> FindSeries(const CQuery& query) = 0;
    // Brings the series (the whole study when `series` has no UID) into the
    // cache and gives its folder; nothing half retrieved stays behind a
    // failure or a cancel.
    virtual std::string Retrieve(const CSeries& series, const Progress& progress) = 0;
    // True when the source runs the application's events itself while it
    // waits: its progress calls must not run them again, or its own network
    // events would arrive in the middle of the one being handled.
    virtual bool RunsEvents() const { return false; }

    // Makes the source for a server of the preferences, with the settings
    // kept beside them (our AE title, timeout, cache size); tests put an
    // archive of their own in its place.
    using Factory = std::function<std::unique_ptr<CPacsSource>(const CPacsServerEntry& server,
                                                               const CPacsServerList& settings)>;
    static Factory& MakeFactory();
};
