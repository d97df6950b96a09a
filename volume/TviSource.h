#pragma once

#include <string>

#include "SampleSource.h"
#include "TviSampleMap.h"

// The samples of a .tvi file for a volume load: the file is mapped, not read,
// and its images lie z-major (every frame of slice 0, then of slice 1, ...).
class CTviSource : public CSampleSource {
public:
    // Reads and checks the header and maps the samples. False, with `error`
    // set, when the file cannot be opened or is not a sound .tvi file.
    bool Open(const std::string& path, std::string& error);

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override;
    void WillNeed(int64_t first, int64_t end) const override;
    void Release(int64_t first, int64_t end) const override;

private:
    CTviSampleMap m_map;
};
