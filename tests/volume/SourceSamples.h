#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SampleSource.h"

// The 16-bit samples a source gives, in its file order, as a load works them
// out: the codes, then, where codes are not yet samples, the mapping of the
// codes counted.
inline std::vector<uint16_t> SourceSamples(CSampleSource& source) {
    std::string error;
    EXPECT_TRUE(source.Prepare({}, error)) << error;
    const int64_t total = source.SampleCount();
    std::vector<uint16_t> samples(static_cast<size_t>(total));
    std::vector<uint16_t> scratch(static_cast<size_t>(CSampleSource::kMaxBlock));
    for (int64_t first = 0; first < total; first += CSampleSource::kMaxBlock) {
        const int64_t count = std::min(CSampleSource::kMaxBlock, total - first);
        const uint16_t* codes = source.Codes(first, count, scratch.data());
        std::copy(codes, codes + count, samples.begin() + first);
    }
    if (!source.CodesAreSamples()) {
        auto counts = std::make_unique<IntensityHistogram>();
        counts->fill(0);
        for (uint16_t code : samples) ++(*counts)[code];
        auto map = std::make_unique<SampleOfCode>();
        source.MapCodes(*counts, *map);
        for (uint16_t& code : samples) code = (*map)[code];
    }
    return samples;
}
