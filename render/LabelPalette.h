#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "SliceImage.h"

// The colours of labels on the planes: a fixed, distinct colour per label
// number, the first three red, green and blue, which stand out best on grey;
// numbers beyond the table reuse it in turn. Label 0 is background and
// transparent.
class CLabelPalette {
public:
    static constexpr int kColourCount = 20;

    // Red, green, blue and alpha of label `value`; alpha 0 for label 0.
    static std::array<uint8_t, 4> Colour(int64_t value);

    // An image of label indices as RGBA pixels, each index shown in the
    // colour of the label `values[index]` stands for; indices outside
    // `values` are transparent.
    static std::vector<uint8_t> Colourise(const CSliceImage& indices, const std::vector<int64_t>& values);
    // The same with the RGBA colour of each index given, as the user chose
    // them (alpha 0 for a label hidden); indices past `colours` are transparent.
    static std::vector<uint8_t> Colourise(const CSliceImage& indices,
                                          const std::vector<std::array<uint8_t, 4>>& colours);
};
