#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "DisplayWindow.h"
#include "IntensityWindow.h"

// How the 16-bit codes of one load are shown: the grey level of every code,
// made either from the saturation rule over the samples the codes stand for
// (the load default) or from a window on the values they stand for. The
// picture is gathered through this table whenever it is needed, so a new
// saturation or window is only a new table: no sample is read again and no
// 8-bit copy of the volume is kept.
class CDisplayMapping {
public:
    CDisplayMapping();

    // The codes that occur in the load (ascending, with their counts), the
    // 16-bit sample each stands for and its value in the file's units (both
    // parallel to `codes`).
    CDisplayMapping(const std::vector<SampleCount>& codes, const std::vector<uint16_t>& sampleOfCode,
                    const std::vector<double>& valueOfCode);

    // Codes that are 8-bit grey levels already, shown as they are by default;
    // `levels` lists the levels that occur (ascending, with their counts).
    static CDisplayMapping Grey(const std::vector<SampleCount>& levels);

    // Sets the saturation level at `fraction` of all samples. The table is
    // made anew only while no window is in force: the level is the load
    // default, which a window set by hand stays in front of. Returns the level.
    uint16_t SetSaturation(double fraction);
    uint16_t SaturationLevel() const { return m_level; }

    // Shows the codes through `window` (values in the file's units): false,
    // with nothing changed, for a window WindowIsUsable refuses.
    bool SetWindow(const CDisplayWindow& window);
    // Back to the load default.
    void ResetWindow();
    // The window set by hand, if one is in force.
    const std::optional<CDisplayWindow>& CustomWindow() const { return m_window; }
    // The window that shows what the load default shows: from the value
    // sample 0 stands for to the value of the saturation level.
    CDisplayWindow DefaultWindow() const;

    // The value and count of every code that occurs (finite values only).
    void AddValueCounts(std::vector<ValueCount>& counts) const;

    // The grey level of every code (codes that do not occur show black).
    const IntensityTable& Table() const { return *m_table; }

private:
    void MakeDefaultTable();
    void MakeWindowTable();
    // True when the values fall as the samples rise (DICOM MONOCHROME1).
    bool ValuesFall() const;

    std::vector<uint16_t> m_codes;
    std::vector<uint16_t> m_sampleOfCode;
    std::vector<double> m_valueOfCode;
    std::vector<uint64_t> m_countOfCode;
    // The counts pooled by sample, ascending: what the level is found in.
    std::vector<SampleCount> m_countsBySample;
    uint16_t m_level = 0;
    // Grey levels shown as they are: no saturation applies to them.
    bool m_grey = false;
    std::optional<CDisplayWindow> m_window;
    std::unique_ptr<IntensityTable> m_table;
};
