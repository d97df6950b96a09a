#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ChoiceTable.h"
#include "DicomImageHeader.h"
#include "DicomSeriesLayout.h"
#include "VolumeFormat.h"

class CDicomCodec;

// The DICOM images of a folder and its subfolders, grouped by series.
//
// Only the tags that group, sort and calibrate are read; the pixels wait until
// a series is loaded. Files that are not DICOM images (text, DICOMDIR,
// reports, presentation states) are passed over; files that look like DICOM
// but cannot be read are listed in m_unreadable.
class CDicomFolder {
public:
    // One entry of the series list: a series, or the stack of single-slice series.
    struct Series {
        std::string uid;  // empty for the stack
        std::optional<int> number;
        std::string description;
        std::string type;                       // "magnitude", "phase", "velocity" or "" (unknown)
        std::string part;                       // which stack or plane of its series, where it has several
        std::vector<CDicomImageHeader> images;  // one per frame of a multi-frame file
        bool stack = false;
        // Filled by Sort: the slices x frames found, or why the images do not form a volume.
        int32_t rows = 0, columns = 0, slices = 0, frames = 0;
        std::string layoutError;

        // "7 cine SA: 256 x 208, 100 images, 4 slices x 25 frames", or
        // "7 cine SA: 256 x 208, 1 image, cannot be loaded: <why>"
        std::string Label() const;
        // "7 cine SA (256 x 208, 100 images)": what a refusal names.
        std::string Heading() const;
        bool Loadable() const { return layoutError.empty(); }
        // What --info says of the entry: its label, number, description,
        // type, size, images, slices and frames, and why it cannot be loaded.
        CInfoRecord Info() const;
        // The images sorted into a volume, with the summary above brought up
        // to date; false with `error` when they cannot be.
        bool Layout(CDicomSeriesLayout& layout, std::string& error);
    };

    using Progress = std::function<void(double fraction)>;

    // `inProcessCodec`, when given, reads the files instead of the DICOM
    // module, in this process: for a codec that cannot bring the process down
    // (a stand-in in tests). By default the module reads them in reader processes.
    explicit CDicomFolder(const CDicomCodec* inProcessCodec = nullptr) : m_inProcessCodec(inProcessCodec) {}

    // Reads the folder. False, with `error` set, when it cannot be read.
    bool Scan(const std::string& folder, std::string& error, const Progress& progress = {});

    // The series, in Series Number order and then by UID; the stack, when
    // there is one, comes last.
    std::vector<Series> m_series;
    // Files that claim to be DICOM but could not be read.
    std::vector<std::string> m_unreadable;

    // The series as a table to choose from: number, description, type, rows
    // x columns, images, slices x frames; series that cannot be loaded with
    // the reason. The default choice is proposed.
    CChoiceTable Table() const;

    // The entry a run without a choice loads: the stack, else the series with
    // the most images of those that can be loaded (of all, when none can).
    int DefaultChoice() const;
    // The entry `choice` names: "stack", a 1-based list position or a Series
    // Instance UID. -1 with `error` set when it names none.
    int FindChoice(const std::string& choice, std::string& error) const;
    // The series that holds the scanned image file `path`, or -1.
    int SeriesOfFile(const std::string& path) const;

    // True when a file announces itself as DICOM (the DICM mark after its preamble).
    static bool ClaimsDicom(const std::string& path);

    // How deep below the folder the scan looks.
    static constexpr int kMaxDepth = 4;

private:
    const CDicomCodec* m_inProcessCodec = nullptr;

    void GroupSeries(std::vector<CDicomImageHeader> images);
    // Adds the stack entry when two or more single-slice series share their
    // image size, orientation and frame count and lie at distinct positions.
    void AddStack();
};
