#include "DisplayMapping.h"

#include <algorithm>
#include <cmath>

CDisplayMapping::CDisplayMapping() : m_table(std::make_unique<IntensityTable>()) {}

CDisplayMapping::CDisplayMapping(const std::vector<SampleCount>& codes, const std::vector<uint16_t>& sampleOfCode,
                                 const std::vector<double>& valueOfCode)
    : m_sampleOfCode(sampleOfCode), m_valueOfCode(valueOfCode), m_table(std::make_unique<IntensityTable>()) {
    m_codes.reserve(codes.size());
    m_countOfCode.reserve(codes.size());
    std::vector<SampleCount> bySample(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        m_codes.push_back(codes[i].sample);
        m_countOfCode.push_back(codes[i].count);
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

CDisplayMapping CDisplayMapping::Grey(const std::vector<SampleCount>& levels) {
    CDisplayMapping grey;
    grey.m_grey = true;
    // Every level has a grey, present or not: a window covers them all.
    grey.m_countOfCode.assign(256, 0);
    for (const SampleCount& level : levels)
        if (level.sample < 256) grey.m_countOfCode[level.sample] = level.count;
    for (uint16_t code = 0; code < 256; ++code) {
        grey.m_codes.push_back(code);
        grey.m_sampleOfCode.push_back(code);
        grey.m_valueOfCode.push_back(code);
    }
    grey.MakeDefaultTable();
    return grey;
}

uint16_t CDisplayMapping::SetSaturation(double fraction) {
    if (m_grey || m_codes.empty()) return m_level;
    m_level = SaturationLevelOfCounts(m_countsBySample, fraction);
    if (!m_window) MakeDefaultTable();
    return m_level;
}

bool CDisplayMapping::SetWindow(const CDisplayWindow& window) {
    if (!WindowIsUsable(window)) return false;
    m_window = window;
    MakeWindowTable();
    return true;
}

void CDisplayMapping::ResetWindow() {
    m_window.reset();
    MakeDefaultTable();
}

void CDisplayMapping::MakeDefaultTable() {
    if (m_grey) {
        for (size_t code = 0; code < 256; ++code) (*m_table)[code] = static_cast<uint8_t>(code);
        std::fill(m_table->begin() + 256, m_table->end(), uint8_t{255});
        return;
    }
    m_table->fill(0);
    for (size_t i = 0; i < m_codes.size(); ++i) (*m_table)[m_codes[i]] = EightBitValue(m_sampleOfCode[i], m_level);
}

bool CDisplayMapping::ValuesFall() const {
    if (m_grey || m_codes.empty()) return false;
    const auto [lowest, highest] = std::minmax_element(m_sampleOfCode.begin(), m_sampleOfCode.end());
    return m_valueOfCode[static_cast<size_t>(highest - m_sampleOfCode.begin())] <
           m_valueOfCode[static_cast<size_t>(lowest - m_sampleOfCode.begin())];
}

void CDisplayMapping::MakeWindowTable() {
    const double low = m_window->center - m_window->width / 2;
    const double width = m_window->width;
    // Images whose smallest values show brightest (DICOM MONOCHROME1) stay
    // so under a window: its ramp is turned over, as the load default's is.
    const bool turned = ValuesFall();
    m_table->fill(0);
    for (size_t i = 0; i < m_codes.size(); ++i) {
        const double q = (m_valueOfCode[i] - low) / width;
        // Written so that a value that is not a number shows black.
        uint8_t grey = 0;
        if (q >= 1.0)
            grey = 255;
        else if (q > 0.0)
            grey = static_cast<uint8_t>(q * 255.0 + 0.5);
        (*m_table)[m_codes[i]] = turned && std::isfinite(q) ? static_cast<uint8_t>(255 - grey) : grey;
    }
}

CDisplayWindow CDisplayMapping::DefaultWindow() const {
    // Grey levels stand for themselves: [0, 255] maps each to itself exactly.
    if (m_grey) return {127.5, 255.0};
    if (m_codes.empty()) return {};
    // The ramp is linear in the sample; every format makes its samples
    // linear in the values (kept as they are, or stretched from the range of
    // the values), so the line through the codes of the smallest and the
    // largest sample says what any sample stands for.
    const auto [lowest, highest] = std::minmax_element(m_sampleOfCode.begin(), m_sampleOfCode.end());
    const double lowSample = *lowest, highSample = *highest;
    const double lowValue = m_valueOfCode[static_cast<size_t>(lowest - m_sampleOfCode.begin())];
    const double highValue = m_valueOfCode[static_cast<size_t>(highest - m_sampleOfCode.begin())];
    double perSample = 1.0;
    if (highSample > lowSample)
        perSample = (highValue - lowValue) / (highSample - lowSample);
    else if (lowSample == 0.0)
        // One value, at sample 0: the empty ramp shows it black, as a window
        // that starts at it does.
        perSample = std::max(1.0, std::abs(lowValue));
    // else one value kept as its own sample (sample = value): a slope of 1.
    const double atZero = lowValue - perSample * lowSample;
    // With the level at 0 the ramp shows sample 0 black and every other white,
    // as a window one sample wide does.
    const double atLevel = atZero + perSample * std::max<double>(m_level, 1.0);
    // Values that fall as samples rise (DICOM MONOCHROME1) give the same ends
    // the other way round; a window always rises with the value.
    return WindowOfRange(std::min(atZero, atLevel), std::max(atZero, atLevel));
}

void CDisplayMapping::AddValueCounts(std::vector<ValueCount>& counts) const {
    for (size_t i = 0; i < m_codes.size(); ++i)
        if (m_countOfCode[i] != 0 && std::isfinite(m_valueOfCode[i]))
            counts.push_back({m_valueOfCode[i], m_countOfCode[i]});
}
