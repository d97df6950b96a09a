#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TestData.h"

// Helpers for movie tests: frames made by code, and the ffmpeg and ffprobe
// commands as an independent reader and writer of AVI files.

// A BGRA frame (rows top first) of smooth ramps, so that lossy codecs keep it
// close: blue grows to the right, green downwards, and each frame shifts all
// three. Up to 64 x 48 pixels and 10 frames no value wraps. Alpha is `alpha`.
std::vector<uint8_t> PatternFrame(int width, int height, int frame, uint8_t alpha = 255);
// Frames 0 to count - 1 of the pattern, one after another.
std::vector<uint8_t> PatternFrames(int width, int height, int count, uint8_t alpha = 255);

// Writes BGRA frames (rows top first, one after another) as an uncompressed
// movie of `rate` frames a second with the program's own writer. False when
// it cannot.
bool WriteMovie(const std::string& path, int width, int height, const std::vector<uint8_t>& frames,
                int32_t rate = 4);

// Runs a shell command; returns its standard output, and its exit status in `status`.
std::string RunCommand(const std::string& command, int* status = nullptr);

// Encodes raw frames of `inputFormat` (an ffmpeg pixel format such as
// "bgra") into `moviePath` with the ffmpeg command and the given output
// options (codec, pixel format, filters). True when ffmpeg succeeded.
bool EncodeWithFfmpeg(const std::vector<uint8_t>& rawFrames, int width, int height, const std::string& inputFormat,
                      const std::string& outputOptions, const std::string& moviePath);

// Every frame of the movie decoded by the ffmpeg command as BGRA, rows top first.
std::vector<uint8_t> DecodeWithFfmpeg(const std::string& moviePath);

// key=value pairs ffprobe reports for the first video stream, with packets counted.
std::map<std::string, std::string> ProbeVideoStream(const std::string& moviePath);
// One flags text per packet of the first video stream ("K_" for a key frame).
std::vector<std::string> ProbePacketFlags(const std::string& moviePath);

// Fields of the first stream's header and bitmap format in an AVI file.
struct AviStreamHeader {
    std::string type;       // "vids"
    uint32_t handler = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t length = 0;
    uint32_t formatSize = 0;  // size of the bitmap header
    int32_t width = 0;
    int32_t height = 0;     // positive: rows stored bottom-up
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    bool found = false;
};
AviStreamHeader ReadAviStreamHeader(const std::string& moviePath);
