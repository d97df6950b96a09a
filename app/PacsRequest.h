#pragma once

#include <memory>
#include <string>

class CPacsSource;

// What the command line asks of a DICOM archive: list the series that match
// its filters (--list), or retrieve a study or series into the cache so the
// run loads that folder as it would any DICOM folder.
struct CPacsRequest {
    std::string server;    // --pacs AET@HOST:PORT; empty when no archive is named
    std::string dicomWeb;  // --dicomweb URL, the other way to name one
    std::string ourAet = "ORVANTA";
    bool list = false;
    std::string patientId;
    std::string studyUid;
    std::string modality;
    std::string seriesUid;  // --series, which with --pacs names the series to retrieve
    bool move = false;      // --retrieve move
    int movePort = 11113;
    int timeoutSeconds = 30;
    double cacheMegabytes = 4096;

    bool Given() const { return !server.empty() || !dicomWeb.empty(); }

    // Whether the options fit together: false with `error` (one line) when a
    // PACS option comes without --pacs, --pacs with a file, or --pacs neither
    // lists nor names what to retrieve.
    bool Check(bool fileGiven, std::string& error) const;

    // --list: prints one JSON object a line for every matching series.
    // Returns the exit status: 0 listed, 1 the archive failed or nothing matched.
    int List() const;
    // Retrieves into the cache; 0 with the cache folder in `folder`, else 1
    // after saying why on standard error.
    int Fetch(std::string& folder) const;
    // The archive the options name, as the dialog reaches one too.
    std::unique_ptr<CPacsSource> Source() const;
};
