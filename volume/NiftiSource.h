#pragma once

#include <array>
#include <optional>
#include <string>

#include "CodeMapping.h"
#include "NiftiImage.h"
#include "SampleRule.h"
#include "SampleSource.h"

// The samples of a NIfTI image (.nii or .nii.gz) for a volume load. Its images
// lie t-major (every slice of frame 0, then of frame 1, ...).
//
// 8- and 16-bit integer data hands out a 16-bit code per voxel: the stored
// value's 16 bits (a signed one as its two's complement), so that 16-bit
// data in the host's order is its own codes and can be kept as the file's
// pages; once
// every code is counted, the value rule maps each code that occurs. Wider
// integers and reals need their value range before any sample is known, so
// Prepare finds it in one pass and the codes are the final samples.
class CNiftiSource : public CSampleSource {
public:
    // Reads and checks the header and maps a plain file. False, with `error`
    // set, when the file cannot be read or is no sound NIfTI image.
    bool Open(const std::string& path, std::string& error);

    const CNiftiHeader& Header() const { return m_image.Header(); }
    // The smallest and largest finite value v of the image, once loaded;
    // nothing when no value is finite.
    std::optional<std::array<double, 2>> ValueRange() const;

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override;
    double PrepareWeight() const override;
    bool Prepare(const Progress& progress, std::string& error) override;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override;
    void Release(int64_t first, int64_t end) const override;
    std::optional<CLentCodes> LendCodes() const override;
    bool CodesAreSamples() const override { return !m_narrow; }
    void MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) override;
    double ValueOfCode(uint16_t code) const override;
    // The data type and the value range.
    void Describe(CVolumeFileInfo& info) const override;

private:
    // How codes of 8- or 16-bit data stand for values.
    CCodeMapping Mapping() const;
    // True when the stored values are the codes as they lie (16-bit, host order, aligned).
    bool StoredAsCodes() const;

    CNiftiImage m_image;
    bool m_narrow = true;  // 8- or 16-bit integers: codes, then MapCodes
    CValueRange m_range;
    std::optional<CSampleRule> m_rule;  // wide data, once prepared
};
