#include "DisplayMapping.h"

#include <algorithm>

CDisplayMapping::CDisplayMapping() : m_table(std::make_unique<IntensityTable>()) {}

CDisplayMapping::CDisplayMapping(const std::vector<SampleCount>& codes,
                                 const std::vector<uint16_t>& sampleOfCode)
    : m_sampleOfCode(sampleOfCode), m_table(std::make_unique<IntensityTable>()) {
    m_codes.reserve(codes.size());
    std::vector<SampleCount> bySample(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        m_codes.push_back(codes[i].sample);
        bySample[i] = {sampleOfCode[i], codes[i].count};
    }
    std::sort(bySample.begin(), bySample.end(),
              [](const SampleCount& a, const SampleCount& b) { return a.sample < b.sample; });
    for (const SampleCount& bin : bySample) {
        if (m_countsBySample.empty() || m_countsBySample.back().sample != bin.sample)
            m_countsBySample.push_back({bin.sample, 0});
        m_countsBySample.back().count += bin.count;
    }
}

CDisplayMapping CDisplayMapping::Grey() {
    CDisplayMapping grey;
    for (size_t code = 0; code < 256; ++code) (*grey.m_table)[code] = static_cast<uint8_t>(code);
    std::fill(grey.m_table->begin() + 256, grey.m_table->end(), uint8_t{255});
    return grey;
}

uint16_t CDisplayMapping::SetSaturation(double fraction) {
    if (m_codes.empty()) return m_level;
    m_level = SaturationLevelOfCounts(m_countsBySample, fraction);
    m_table->fill(0);
    for (size_t i = 0; i < m_codes.size(); ++i)
        (*m_table)[m_codes[i]] = EightBitValue(m_sampleOfCode[i], m_level);
    return m_level;
}
