#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "IntensityWindow.h"

// How the 16-bit codes of one load are shown: the grey level of every code,
// made from the saturation rule over the samples the codes stand for. The
// picture is gathered through this table whenever it is needed, so a new
// saturation (and later a window) is only a new table: no sample is read
// again and no 8-bit copy of the volume is kept.
class CDisplayMapping {
public:
    CDisplayMapping();

    // The codes that occur in the load (ascending, with their counts) and the
    // 16-bit sample each stands for (parallel to `codes`).
    CDisplayMapping(const std::vector<SampleCount>& codes, const std::vector<uint16_t>& sampleOfCode);

    // Codes that are 8-bit grey levels already, shown as they are.
    static CDisplayMapping Grey();

    // Sets the saturation level at `fraction` of all samples and makes the
    // table anew. Returns the level.
    uint16_t SetSaturation(double fraction);
    uint16_t SaturationLevel() const { return m_level; }

    // The grey level of every code (codes that do not occur show black).
    const IntensityTable& Table() const { return *m_table; }

private:
    std::vector<uint16_t> m_codes;
    std::vector<uint16_t> m_sampleOfCode;
    // The counts pooled by sample, ascending: what the level is found in.
    std::vector<SampleCount> m_countsBySample;
    uint16_t m_level = 0;
    std::unique_ptr<IntensityTable> m_table;
};
