#pragma once

#include <optional>
#include <string>
#include <vector>

#include "SampleSource.h"
#include "SkippedMovie.h"
#include "VolumeFormat.h"

// The movies of a folder as a volume: one movie per z-slice, in byte-wise
// name order, its frames the time frames, the blue byte of each pixel the
// voxel. Movies are 8-bit already, so they are shown as they are (no
// intensity window) and carry no calibration.
//
// Movies that cannot be read, have no frames or differ in frame size from the
// first movie are left out with the reason; the frame count is that of the
// shortest movie kept. The images lie z-major (every frame of slice 0, then
// of slice 1, ...).
class CMovieFolderSource : public CSampleSource {
public:
    // Reads every movie of the folder `prefix` names ("" = the current
    // folder) whose name ends in .avi in any letter case. A prefix that names
    // no folder finds nothing.
    void Open(const std::string& prefix, const Progress& progress = {});

    const std::vector<CSkippedMovie>& Skipped() const { return m_skipped; }

    // A folder that holds .avi movies.
    static bool Recognises(const std::string& path);
    // The movies of the folder `path`; refused when it has movies and none can be read.
    static COpenResult OpenPath(const std::string& path, const COpenRequest& request);

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override;
    bool CodesAreGrey() const override { return true; }
    // The folder's name as the title, and the movies left out.
    void Describe(CVolumeFileInfo& info) const override;

private:
    // Reads one movie as the next z-slice. Nothing when it was added, else
    // why it was not.
    std::optional<std::string> AddAviSlice(const std::string& path);

    std::string m_prefix;
    std::vector<std::vector<uint8_t>> m_movies;  // the frames of each movie kept, one after another
    std::vector<CSkippedMovie> m_skipped;
};
