// Compiled with -ffp-contract=off: see CodeMapping.h.

#include "CodeMapping.h"

#include <vector>

double CCodeMapping::ValueOf(uint32_t code) const {
    const double stored = m_twosComplement ? static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(code)))
                                           : static_cast<double>(code) - m_shift;
    return stored * m_slope + m_intercept;
}

CValueRange CCodeMapping::MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) const {
    std::vector<double> present;
    for (uint32_t code = 0; code < codeCounts.size(); ++code)
        if (codeCounts[code] != 0) present.push_back(ValueOf(code));
    CValueRange range;
    range.Add(present.data(), present.size());
    const CSampleRule rule(range, true);
    for (uint32_t code = 0; code < codeCounts.size(); ++code)
        samples[code] = codeCounts[code] != 0 ? rule.Sample(ValueOf(code)) : 0;
    return range;
}
