#pragma once

#include <string>

#include "SampleSource.h"
#include "TviFile.h"

// The samples of a .tvi file for a volume load. Its images lie z-major (every
// frame of slice 0, then every frame of slice 1, ...).
class CTviSource : public CSampleSource {
public:
    // Reads and checks the header and maps the samples. False, with `error`
    // set, when the file cannot be opened or is not a sound .tvi file.
    bool Open(const std::string& path, std::string& error);

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override;
    std::optional<CLentCodes> LendCodes() const override;

private:
    const uint16_t* Samples() const {
        return reinterpret_cast<const uint16_t*>(m_mapping->Data() + CTviFile::kHeaderSize);
    }

    std::shared_ptr<const CFileMapping> m_mapping;
};
