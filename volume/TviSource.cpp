#include "TviSource.h"

#include <bit>


bool CTviSource::Open(const std::string& path, std::string& error) {
    CTviFile file;
    if (file.ReadHeader(path) != 0) {
        error = file.ErrorText();
        return false;
    }
    m_sizeX = file.m_sizeX;
    m_sizeY = file.m_sizeY;
    m_sizeZ = file.m_sizeZ;
    m_frames = file.m_frames;
    // Only a file that carries a calibration block replaces the calibration.
    if (file.m_version > 1) {
        m_calibration.m_pixelSizeX = file.m_pixelSizeX;
        m_calibration.m_pixelSizeY = file.m_pixelSizeY;
        m_calibration.m_pixelSizeZ = file.m_pixelSizeZ;
        m_calibration.m_frameTime = file.m_frameTime;
    }
    const int64_t count = file.SampleCount();
    if (count == 0) return true;
    // The header is even in length and the mapping starts on a page, so the samples lie aligned.
    static_assert(CTviFile::kHeaderSize % alignof(uint16_t) == 0);
    m_mapping = CFileMapping::Open(path, CTviFile::kHeaderSize + 2 * count, error);
    return m_mapping != nullptr;
}

void CTviSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image / m_frames);
    t = static_cast<int32_t>(image % m_frames);
}

const uint16_t* CTviSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    if constexpr (std::endian::native == std::endian::little) {
        (void)scratch;
        return Samples() + first;
    }
    for (int64_t i = 0; i < count; ++i) scratch[i] = SampleFromFile(Samples()[first + i]);
    return scratch;
}

std::optional<CSampleSource::CLentCodes> CTviSource::LendCodes() const {
    if (std::endian::native != std::endian::little || !m_mapping) return std::nullopt;
    return CLentCodes{Samples(), m_mapping, m_mapping};
}

