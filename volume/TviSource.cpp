#include "TviSource.h"

#include <bit>

#include "TviFile.h"

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
    return count == 0 || m_file.Open(path, CTviFile::kHeaderSize, 2, count, error);
}

void CTviSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image / m_frames);
    t = static_cast<int32_t>(image % m_frames);
}

const uint16_t* CTviSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    m_file.Read(first, count, scratch);
    if constexpr (std::endian::native == std::endian::big)
        for (int64_t i = 0; i < count; ++i) scratch[i] = SampleFromFile(scratch[i]);
    return scratch;
}

