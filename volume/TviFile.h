#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The contents of one time-volume (.tvi) file: a 1108-byte header with the
// four sizes, two text fields and (in every version but 1) the calibration,
// followed by X*Y*Z*T little-endian 16-bit samples, x fastest, then y, then t,
// then z. A short-lived record: the volume reads a file through it and drops it.
class CTviFile {
public:
    static constexpr int64_t kHeaderSize = 1108;

    CTviFile();
    virtual ~CTviFile();
    CTviFile(const CTviFile&) = delete;
    CTviFile& operator=(const CTviFile&) = delete;

    // Reads header and samples. Returns 0, or -1 when the file cannot be
    // opened, its header is not sane or the file is shorter than the header
    // announces; ErrorText then says why and the record is as it was.
    int Read(const std::string& path);

    // Reads and checks the header only, including that the file holds every
    // sample it announces; the samples of an earlier read are dropped.
    // Same results as Read.
    int ReadHeader(const std::string& path);

    // The saturation level of m_samples at `fraction`.
    uint16_t SaturationLevel(double fraction) const;

    // Why the last Read or ReadHeader failed; empty after a success.
    const std::string& ErrorText() const { return m_errorText; }

    // X*Y*Z*T of the file read last (0 before any), worked out once by the
    // header check, which refuses sizes whose product could overflow.
    int64_t SampleCount() const { return m_sampleCount; }
    // True when any of the four sizes is 0: the file holds no image.
    bool IsEmpty() const { return SampleCount() == 0; }

    int32_t m_version = 2;
    int32_t m_sizeX = 0;
    int32_t m_sizeY = 0;
    int32_t m_frames = 0;
    int32_t m_sizeZ = 0;
    char m_text1[64] = {};
    char m_text2[512] = {};
    uint8_t m_reserved[512];
    std::unique_ptr<uint16_t[]> m_samples;
    double m_pixelSizeX = 1.0;
    double m_pixelSizeY = 1.0;
    double m_pixelSizeZ = 1.0;
    double m_frameTime = 1.0;

private:
    struct Header;
    using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    static bool ParseHeader(std::FILE* file, Header& header, std::string& error);
    // Opens the file and reads its header; null (with m_errorText) on failure.
    FilePtr OpenAndParse(const std::string& path, Header& header);
    void Adopt(const Header& header);

    std::string m_errorText;
    int64_t m_sampleCount = 0;
};
