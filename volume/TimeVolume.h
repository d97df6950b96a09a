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
// 8-bit X x Y slice per (z, t), indexed m_slices[z][t]. Filled from a file or
// folder of any format of the table in VolumeFormat.h, its 16-bit samples
// windowed to 8 bits while loading.
class CTimeVolume : public CSliceSource {
public:
    CTimeVolume();
    ~CTimeVolume() override;
    CTimeVolume(const CTimeVolume&) = delete;
    CTimeVolume& operator=(const CTimeVolume&) = delete;

    // Frees every slice; sizes back to 0. The calibration stays.
    void Clear();

    // Appends the volume `path` holds, in whichever format the table
    // recognises it (or in `format` when given), windowed at the `saturation`
    // fraction of its samples, and adopts the calibration the file carries.
    // False when it cannot be loaded (LastError says why, LastFailure says
    // what in a sentence for the user); the volume is then unchanged. A file
    // whose sizes are 0 loads as nothing. `progress`, when given, hears the
    // fraction done (0 to 1) from the calling thread now and then; `request`
    // says how to choose among several volumes in one path.
    using Progress = std::function<void(double fraction)>;
    bool LoadFile(const std::string& path, double saturation, const Progress& progress = {},
                  COpenRequest request = {}, EVolumeFormat format = EVolumeFormat::kNone);

    // LoadFile of a .tvi file, whatever its name.
    bool LoadTvi(const std::string& path, double saturation, const Progress& progress = {});

    // Exchanges everything the two volumes hold, calibration included, so a
    // volume can be loaded aside and take the place of the shown one only
    // once it loaded.
    void Swap(CTimeVolume& other) noexcept;

    // Appends the volume `source` serves, windowed at the `saturation` fraction
    // of its samples, and adopts the calibration the source carries. Same
    // results as LoadFile; every format's load ends here.
    bool Load(CSampleSource& source, double saturation, const Progress& progress = {});

    // Appends the movies of the folder `prefix` names ("" = the current
    // folder): see CMovieFolderSource. Returns the movies left out, with why.
    // The calibration stays as it was.
    std::vector<CSkippedMovie> LoadAviDirectory(const std::string& prefix, const Progress& progress = {});

    CSliceImage GetSlice(int plane, int index, int frame, bool powerOfTwo) const override;

    // What the voxels of one slice stand for: the 16-bit code of each (X x Y,
    // as the slice's pixels lie) and the value in the file's own units of
    // every code, and which codes occur anywhere in the load (1 for those).
    // Where `codes` is null, the 8-bit voxels are the codes (grey-level
    // movies, 256 of them); where all are null, nothing was kept.
    struct CSliceValues {
        const uint16_t* codes = nullptr;
        const double* valueOfCode = nullptr;
        const uint8_t* codePresent = nullptr;
    };
    // Slice z of frame t; both in range.
    const CSliceValues& SliceValues(int z, int t) const {
        return m_sliceValues[static_cast<size_t>(z)][static_cast<size_t>(t)];
    }
    // The value in the file's units of voxel (i, j, k) in frame t (indices as
    // the file orders its samples), or nothing outside the volume or where
    // no values were kept.
    std::optional<double> Value(int i, int j, int k, int t) const;

    // Why the last load failed.
    const std::string& LastError() const { return m_lastError; }
    // The last failure as a sentence: "Cannot load the time volume a.tvi:\n" and why.
    std::string LastFailure() const;

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
    // When set, every load first shows it the grid (X, Y, Z) it found; a
    // non-empty answer refuses the load, with that text, before any sample is read.
    std::function<std::string(int32_t sizeX, int32_t sizeY, int32_t sizeZ)> m_sizeCheck;
    // Loads keep every sample's 16-bit code (twice the memory of the 8-bit
    // voxels), so that Value can tell what the file holds at any voxel. A
    // caller that only shows the picture may do without.
    bool m_keepValues = true;
    // What the file of the last load was; empty after Clear.
    CVolumeFileInfo m_fileInfo;

private:
    // Counts the source's samples, finds the saturation level and writes every
    // voxel into `voxels` (slice-major, frames within slices). Returns the level.
    // Unless `kept` is null, every code is kept there (volume order,
    // SampleCount() of them) and the codes that occur are marked in `present`
    // (65536 flags).
    static uint16_t ConvertSource(CSampleSource& source, double saturation, uint16_t* kept, uint8_t* present,
                                  const CVoxelBuffer& voxels, const Progress& countProgress,
                                  const Progress& convertProgress);
    // Every code read from the source, through `table` into its voxel.
    static void ConvertImages(const CSampleSource& source, const IntensityTable& table, int threads,
                              const CVoxelBuffer& voxels, const Progress& progress);
    // Sizes follow the slices held: Z entries, T of the last one, X x Y of [0][0].
    void UpdateSizes();
    uint8_t Voxel(int x, int y, int z, int frame) const;

    std::string m_lastError;
    std::string m_lastErrorSubject;
    // The blocks that loaded volumes' slices point into.
    std::vector<std::unique_ptr<CVoxelBuffer>> m_buffers;
    // Parallel to m_slices: what each slice's voxels stand for, pointing into
    // the loads' kept codes and tables of values.
    std::vector<std::vector<CSliceValues>> m_sliceValues;
    std::vector<std::unique_ptr<CVoxelBuffer>> m_codeBuffers;
    std::vector<std::unique_ptr<double[]>> m_valueTables;
    std::vector<std::unique_ptr<uint8_t[]>> m_codesPresent;
};
