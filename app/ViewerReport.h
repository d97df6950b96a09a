#pragma once

#include <string>

class CViewer;

// What the viewer reports of itself as JSON: the --info object and the
// sidecar a NIfTI export writes beside its file. Read by the headless runner
// and the viewer's own exports alike, so neither includes the other.
class CViewerReport {
public:
    explicit CViewerReport(const CViewer& viewer) : m_viewer(viewer) {}

    // The --info text for a loaded viewer: one JSON object.
    std::string InfoJson() const;

    // What a NIfTI export of the viewer's volume writes beside it (NAME.json):
    // the timing, the DICOM series it came from where it did, its source and
    // the program's version, as one JSON object.
    std::string NiftiSidecarJson() const;

private:
    const CViewer& m_viewer;
};
