#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DisplayWindow.h"
#include "LoadedCodes.h"
#include "SampleSource.h"
#include "SliceSource.h"
#include "VolumeFormat.h"

// The 4-D image the viewer shows: T frames of an X x Y x Z volume, loaded from
// a file or folder of any format of the table in VolumeFormat.h. It keeps one
// copy of the samples, as 16-bit codes (the file's own pages where the file
// holds them as such), with the value in the file's units of every code; the
// 8-bit planes are gathered from the codes through the display mapping when
// they are asked for. Its data changes only by loading and clearing; how it
// is shown by a new saturation or window.
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

    // Exchanges everything the two volumes hold, calibration included, so a
    // volume can be loaded aside and take the place of the shown one only
    // once it loaded.
    void Swap(CTimeVolume& other) noexcept;

    // Appends the volume `source` serves, windowed at the `saturation` fraction
    // of its samples, and adopts the calibration the source carries. Same
    // results as LoadFile; every format's load ends here.
    bool Load(CSampleSource& source, double saturation, const Progress& progress = {});

    // Shows the volume at another `saturation` fraction of its samples: only
    // the display mapping is made anew. Returns the new level. It changes the
    // load default only: a window set by SetWindow stays in force.
    uint16_t SetSaturation(double saturation);

    // Shows every frame of every load through `window` (values in the file's
    // units): the voxel of value v gets the grey level
    //   round(255 * clamp((v - (center - width / 2)) / width, 0, 1)),
    // codes that were not in the file black. Only the display mapping is
    // made anew. A window whose center or width is not finite, whose width
    // is not above 0 or whose ends are not finite is refused: false, and
    // nothing changes. Loads appended later are shown through it too; Clear
    // goes back to the load default.
    bool SetWindow(const CDisplayWindow& window);
    // Back to the load default: the saturation rule, exactly as loaded.
    void ResetWindow();
    bool WindowIsLoadDefault() const { return !m_window.has_value(); }
    // The window in force, in the file's units. For the load default, the
    // window from what sample 0 stands for to what the saturation level
    // stands for (of the last load): the ramp it shows. Setting it gives the
    // same planes where the samples are the values and 255 v / level is a
    // whole number for every value v (grey levels of movies: center 127.5,
    // width 255); elsewhere a grey level may differ by one, since the ramp
    // truncates and a window rounds. Nothing loaded: a window of width 0.
    CDisplayWindow Window() const;
    // The window a preset stands for on this series: the load default's as
    // Window gives it; the range or percentiles of the values of every voxel
    // of every frame (one value alone: a window centred on it, shown
    // mid-grey); the CT windows as they are. Nothing when nothing is loaded
    // (CT windows excepted).
    std::optional<CDisplayWindow> PresetWindow(EWindowPreset preset) const;

    CSliceImage GetSlice(int plane, int index, int frame, bool powerOfTwo) const override;

    // What the voxels of slice z of frame t stand for (both in range, t below SliceFrames(z)).
    const CSliceValues& SliceValues(int z, int t) const {
        return m_slices[static_cast<size_t>(z)][static_cast<size_t>(t)];
    }
    // The frames slice z has (loads appended to each other may differ).
    int SliceFrames(int z) const { return static_cast<int>(m_slices[static_cast<size_t>(z)].size()); }
    // The value in the file's units of voxel (i, j, k) in frame t (indices as
    // the file orders its samples), or nothing outside the volume.
    std::optional<double> Value(int i, int j, int k, int t) const;

    // True when a file the volume reads its codes from changed since it was
    // loaded (cut short, written to): what is shown may no longer be what
    // was loaded. Codes the file no longer holds read as 0.
    bool FileChanged() const;

    // Why the last load failed.
    const std::string& LastError() const { return m_lastError; }
    // The last failure as a sentence: "Cannot load the time volume a.tvi:\n" and why.
    std::string LastFailure() const;

    int32_t SizeX() const { return m_sizeX; }
    int32_t SizeY() const { return m_sizeY; }
    int32_t SizeZ() const { return m_sizeZ; }
    int32_t Frames() const { return m_frames; }
    // The calibration: what the last file that carried one said, field by field.
    double PixelSizeX() const { return m_pixelSizeX; }
    double PixelSizeY() const { return m_pixelSizeY; }
    double PixelSizeZ() const { return m_pixelSizeZ; }
    double FrameTime() const { return m_frameTime; }
    // Takes the calibration of `other`, so that a file without one keeps it.
    void KeepCalibration(const CTimeVolume& other);
    // Takes each field `calibration` sets, as a load does.
    void AdoptCalibration(const CVolumeCalibration& calibration);
    // The 16-bit level that became white in the last file load.
    uint16_t SaturationLevel() const { return m_saturationLevel; }
    // What the file of the last load was; empty after Clear.
    const CVolumeFileInfo& FileInfo() const { return m_fileInfo; }

    // When set, every load first shows it the grid (X, Y, Z) it found; a
    // non-empty answer refuses the load, with that text, before any sample is read.
    using SizeCheck = std::function<std::string(int32_t sizeX, int32_t sizeY, int32_t sizeZ)>;
    void SetSizeCheck(SizeCheck check) { m_sizeCheck = std::move(check); }

private:
    // Sizes follow the slices held: Z entries, T of the last one, X x Y of [0][0].
    void UpdateSizes();
    uint8_t Voxel(int x, int y, int z, int frame) const;

    int32_t m_frames = 0;
    int32_t m_sizeX = 0;
    int32_t m_sizeY = 0;
    int32_t m_sizeZ = 0;
    double m_pixelSizeX = 0.0;
    double m_pixelSizeY = 0.0;
    double m_pixelSizeZ = 0.0;
    double m_frameTime = 0.0;
    uint16_t m_saturationLevel = 0;
    // The window set by hand; none for the load default.
    std::optional<CDisplayWindow> m_window;
    SizeCheck m_sizeCheck;
    CVolumeFileInfo m_fileInfo;
    std::string m_lastError;
    std::string m_lastErrorSubject;
    // The loads the slices point into, and the slices, indexed [z][t].
    std::vector<std::unique_ptr<CLoadedCodes>> m_loads;
    std::vector<std::vector<CSliceValues>> m_slices;
};
