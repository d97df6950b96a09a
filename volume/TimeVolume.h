#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SampleSource.h"
#include "SkippedMovie.h"
#include "SliceSource.h"
#include "VolumeFormat.h"

class CVoxelBuffer;

// The 4-D image the viewer shows: T frames of an X x Y x Z volume held as one
// 8-bit X x Y slice per (z, t), indexed m_slices[z][t]. Filled from a .tvi
// file (16-bit samples windowed to 8 bits while loading) or from movies.
class CTimeVolume : public CSliceSource {
public:
    CTimeVolume();
    ~CTimeVolume() override;
    CTimeVolume(const CTimeVolume&) = delete;
    CTimeVolume& operator=(const CTimeVolume&) = delete;

    // Frees every slice; sizes back to 0. The calibration stays.
    void Clear();

    // Appends the slices of a .tvi file, windowed at the `saturation` fraction
    // of its samples. False when the file cannot be opened or is not a sound
    // .tvi file (LastError says why); the volume is then unchanged. A header
    // with a zero size loads as nothing.
    // `progress`, when given, hears the fraction done (0 to 1) from the
    // calling thread now and then.
    using Progress = std::function<void(double fraction)>;
    bool LoadTvi(const std::string& path, double saturation, const Progress& progress = {});

    // The same for a NIfTI image (.nii or .nii.gz), its values turned into
    // 16-bit samples first (CSampleRule).
    bool LoadNifti(const std::string& path, double saturation, const Progress& progress = {});

    // LoadTvi or LoadNifti, as the file's name says; false (LastError says
    // why) for a name of neither kind.
    bool LoadFile(const std::string& path, double saturation, const Progress& progress = {});

    // Exchanges everything the two volumes hold, calibration included, so a
    // volume can be loaded aside and take the place of the shown one only
    // once it loaded.
    void Swap(CTimeVolume& other) noexcept;

    // Appends every movie of the folder `prefix` names ("" = the current
    // folder) whose name ends in .avi in any letter case, in byte-wise name
    // order: one movie per z-slice, its frames the time frames, the blue byte
    // of each pixel the voxel. Movies that cannot be read, have no frames or
    // differ in frame size from the first movie are left out and returned with
    // the reason; the frame count is that of the shortest movie kept. The
    // calibration stays as it was.
    // Appends the volume `source` serves, windowed at the `saturation` fraction
    // of its samples, and adopts the calibration the source carries. Same
    // results as LoadTvi; every format's load ends here.
    bool Load(CSampleSource& source, double saturation, const Progress& progress = {});

    std::vector<CSkippedMovie> LoadAviDirectory(const std::string& prefix, const Progress& progress = {});

    CSliceImage GetSlice(int plane, int index, int frame, bool powerOfTwo) const override;

    // Why the last load failed.
    const std::string& LastError() const { return m_lastError; }

    int32_t m_frames = 0;
    int32_t m_sizeX = 0;
    int32_t m_sizeY = 0;
    int32_t m_sizeZ = 0;
    std::vector<std::vector<CSliceImage>> m_slices;
    double m_pixelSizeX = 0.0;
    double m_pixelSizeY = 0.0;
    double m_pixelSizeZ = 0.0;
    double m_frameTime = 0.0;
    // The 16-bit level that became white in the last file load.
    uint16_t m_saturationLevel = 0;
    // What the file of the last load was; empty after Clear.
    CVolumeFileInfo m_fileInfo;

private:
    // Counts the source's samples, finds the saturation level and writes every
    // voxel to `voxels` (slice-major, frames within slices). Returns the level.
    static uint16_t ConvertSource(CSampleSource& source, double saturation, uint8_t* voxels,
                                  const Progress& countProgress, const Progress& convertProgress);
    // Appends one movie as a z-slice and trims the volume to the shorter of its
    // frame count and the movie's. Nothing when the movie was added, else why
    // it was not; the volume is then unchanged.
    std::optional<std::string> AddAviSlice(const std::string& path);
    // Sizes follow the slices held: Z entries, T of the last one, X x Y of [0][0].
    void UpdateSizes();
    uint8_t Voxel(int x, int y, int z, int frame) const;

    std::string m_lastError;
    // The blocks that loaded volumes' slices point into.
    std::vector<std::unique_ptr<CVoxelBuffer>> m_buffers;
};
