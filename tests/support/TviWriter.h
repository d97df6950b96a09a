#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a .tvi file holds. The sizes are written as given and the samples as
// many as there are, so a test can also write files whose header lies.
struct TviContents {
    int32_t version = 2;
    int32_t sizeX = 0;
    int32_t sizeY = 0;
    int32_t sizeZ = 0;
    int32_t frames = 0;
    std::string text1;
    std::string text2;
    double pixelSizeX = 1.0;
    double pixelSizeY = 1.0;
    double pixelSizeZ = 1.0;
    double frameTime = 1.0;
    std::vector<uint16_t> samples;  // file order: x fastest, then y, t, z

    // Sizes the sample block to the header, all samples 0.
    void Allocate() { samples.assign(static_cast<size_t>(SampleCount()), 0); }
    void SetCalibration(double x, double y, double z, double frameMs) {
        pixelSizeX = x;
        pixelSizeY = y;
        pixelSizeZ = z;
        frameTime = frameMs;
    }
    int64_t SampleCount() const { return int64_t{sizeX} * sizeY * sizeZ * frames; }
    size_t IndexOf(int x, int y, int z, int t) const {
        return static_cast<size_t>(((int64_t{z} * frames + t) * sizeY + y) * sizeX + x);
    }
    uint16_t& At(int x, int y, int z, int t) { return samples[IndexOf(x, y, z, t)]; }
};

// Writes the file (version 1 without, every other version with calibration).
// False when the file cannot be written.
bool WriteTviFile(const std::string& path, const TviContents& contents);

// The bytes WriteTviFile writes, for tests that cut or patch them.
std::vector<uint8_t> TviFileBytes(const TviContents& contents);

// Writes an X x Y x Z x T file of smooth rings with noise and a few very bright
// outliers, a slice at a time, so files of gigabytes need no such memory.
// False when the file cannot be written.
bool WriteLargeTviFile(const std::string& path, int x, int y, int z, int t);
