#include "LabelPalette.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr uint8_t kColours[CLabelPalette::kColourCount][3] = {
    {255, 0, 0},     {0, 255, 0},     {0, 0, 255},     {255, 255, 0},   {0, 255, 255},
    {255, 0, 255},   {255, 128, 0},   {128, 0, 255},   {128, 255, 0},   {255, 0, 128},
    {0, 128, 255},   {0, 255, 128},   {128, 64, 0},    {255, 160, 160}, {160, 160, 255},
    {128, 128, 0},   {0, 128, 128},   {128, 0, 64},    {255, 210, 120}, {96, 96, 96},
};

}  // namespace

std::array<uint8_t, 4> CLabelPalette::Colour(int64_t value) {
    if (value <= 0) return {0, 0, 0, 0};
    const uint8_t* rgb = kColours[(value - 1) % kColourCount];
    return {rgb[0], rgb[1], rgb[2], 255};
}

std::vector<uint8_t> CLabelPalette::Colourise(const CSliceImage& indices, const std::vector<int64_t>& values) {
    std::vector<std::array<uint8_t, 4>> colours;
    colours.reserve(values.size());
    for (const int64_t value : values) colours.push_back(Colour(value));
    return Colourise(indices, colours);
}

std::vector<uint8_t> CLabelPalette::Colourise(const CSliceImage& indices,
                                              const std::vector<std::array<uint8_t, 4>>& colours) {
    std::array<std::array<uint8_t, 4>, 256> lookup{};
    std::copy_n(colours.begin(), std::min(colours.size(), lookup.size()), lookup.begin());
    std::vector<uint8_t> rgba(static_cast<size_t>(indices.ByteCount()) * 4);
    if (indices.m_data == nullptr || indices.m_bytesPerPixel != 1) return rgba;
    for (size_t i = 0; i < static_cast<size_t>(indices.ByteCount()); ++i) {
        const std::array<uint8_t, 4>& colour = lookup[indices.m_data[i]];
        std::copy(colour.begin(), colour.end(), rgba.begin() + static_cast<std::ptrdiff_t>(i * 4));
    }
    return rgba;
}
