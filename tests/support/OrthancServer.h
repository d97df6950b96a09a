#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "PacsServer.h"
#include "TempFolder.h"

// One series the test archive holds: a stack of small MR-style images.
struct COrthancSeries {
    std::string patientName;
    std::string patientId;
    std::string studyDate;  // YYYYMMDD
    std::string studyUid;
    std::string seriesUid;
    std::string description;
    std::string modality = "MR";
    int seriesNumber = 1;
    int images = 3;
    int rows = 4;
    int columns = 5;
};

// A real DICOM archive for the network tests: an Orthanc process of its own,
// with a generated configuration and storage in a temporary folder, on free
// ports, answering on the loopback only to our AE title (registered with the
// port our C-MOVE storage service takes), with the DICOMweb plugin loaded,
// filled with `series` through its REST API. Stopped when the object goes.
// A machine without Orthanc fails the tests that use it: Start() says why.
class COrthancServer {
public:
    static constexpr const char* kAet = "ORTHANC";
    static constexpr const char* kOurAet = "ORVANTA";

    COrthancServer();
    ~COrthancServer();
    COrthancServer(const COrthancServer&) = delete;
    COrthancServer& operator=(const COrthancServer&) = delete;

    // Starts the archive and uploads `series`; false with `error` when
    // Orthanc is missing, does not come up within 30 s or refuses an upload.
    bool Start(const std::vector<COrthancSeries>& series, std::string& error);
    // Ends the process at once (SIGKILL), as a crash or power cut would, and waits for it.
    void Kill();

    // ORTHANC@127.0.0.1:<its DICOM port>.
    CPacsServer Server() const;
    int HttpPort() const { return m_httpPort; }
    // The port the archive sends C-MOVE results to for our AE title.
    int MovePort() const { return m_movePort; }

    // Two patients: DOE^JANE (P001, 2024-01-15) with an MR cine of 3 images
    // and a CT of 2, and ROE^RICHARD (P002, 2025-03-10) with an MR of 20.
    static std::vector<COrthancSeries> StandardSeries();

    // `count` ports on the loopback that nothing listens on.
    static std::vector<int> FreePorts(int count);

private:
    bool Upload(const COrthancSeries& series, std::string& error);

    std::unique_ptr<TempFolder> m_folder;
    pid_t m_pid = -1;
    int m_httpPort = 0;
    int m_dicomPort = 0;
    int m_movePort = 0;
};
