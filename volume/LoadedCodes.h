#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "DisplayMapping.h"
#include "FileMapping.h"
#include "VoxelBuffer.h"

// What the voxels of one X x Y slice are: the 16-bit code of each, or, for
// grey-level movies, the 8-bit grey level of each (their own code); the grey
// level every code is shown as; the value in the file's own units of every
// code; and which codes occur anywhere in the load (1 for those).
struct CSliceValues {
    const uint16_t* codes = nullptr;
    const uint8_t* grey = nullptr;
    const IntensityTable* greyOfCode = nullptr;
    const double* valueOfCode = nullptr;
    const uint8_t* codePresent = nullptr;
    int32_t width = 0;
    int32_t height = 0;

    // The code of pixel `at` (row-major) of the slice.
    uint16_t Code(int64_t at) const { return codes != nullptr ? codes[at] : grey[at]; }
};

// The images of one load, where they lie: the file's own pages when it holds
// its codes as they are, else a buffer of codes made by the load (or of grey
// levels for movies). Immutable once made, except for the display mapping,
// which a new saturation or window makes anew.
class CLoadedCodes {
public:
    // Slices of a grey-level load lie in `greyLevels`, of any other in
    // `buffer` or what a source lent (`lent`, the pages of `file` when it is
    // a file's); `slices` holds Z x T records, z-major, whose
    // tables the constructor points at this load's own.
    CLoadedCodes(int32_t sizeZ, int32_t frames, std::vector<CSliceValues> slices,
                 std::shared_ptr<const void> lent, std::shared_ptr<const CFileMapping> file,
                 std::unique_ptr<CVoxelBuffer> buffer,
                 std::unique_ptr<double[]> valueOfCode, std::unique_ptr<uint8_t[]> codePresent,
                 CDisplayMapping display);

    int32_t SizeZ() const { return m_sizeZ; }
    int32_t Frames() const { return m_frames; }
    const CSliceValues& Slice(int32_t z, int32_t t) const {
        return m_slices[static_cast<size_t>(z) * static_cast<size_t>(m_frames) + static_cast<size_t>(t)];
    }
    const CDisplayMapping& Display() const { return m_display; }
    uint16_t SetSaturation(double fraction) { return m_display.SetSaturation(fraction); }
    bool SetWindow(const CDisplayWindow& window) { return m_display.SetWindow(window); }
    void ResetWindow() { m_display.ResetWindow(); }
    // True when the codes are the file's own pages and the file changed under them.
    bool FileChanged() const { return m_file && m_file->Changed(); }

private:
    int32_t m_sizeZ;
    int32_t m_frames;
    std::vector<CSliceValues> m_slices;
    std::shared_ptr<const void> m_lent;
    std::shared_ptr<const CFileMapping> m_file;
    std::unique_ptr<CVoxelBuffer> m_buffer;
    std::unique_ptr<double[]> m_valueOfCode;
    std::unique_ptr<uint8_t[]> m_codePresent;
    CDisplayMapping m_display;
};
