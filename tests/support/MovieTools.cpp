#include "MovieTools.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "VekMovie.h"
#include "VisImage.h"

std::vector<uint8_t> PatternFrame(int width, int height, int frame, uint8_t alpha) {
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = &bytes[(static_cast<size_t>(y) * width + x) * 4];
            pixel[0] = static_cast<uint8_t>(x * 3 + frame * 5);
            pixel[1] = static_cast<uint8_t>(y * 4 + frame * 3);
            pixel[2] = static_cast<uint8_t>((x + y) * 2 + frame * 7);
            pixel[3] = alpha;
        }
    }
    return bytes;
}

std::vector<uint8_t> PatternFrames(int width, int height, int count, uint8_t alpha) {
    std::vector<uint8_t> frames;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> frame = PatternFrame(width, height, i, alpha);
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    return frames;
}

bool WriteMovie(const std::string& path, int width, int height, const std::vector<uint8_t>& frames,
                int32_t rate) {
    const auto frameBytes = static_cast<std::ptrdiff_t>(width) * height * 4;
    try {
        CVekMovie movie(rate);
        movie.Open(path.c_str(), CVekMovie::kOpenWrite | CVekMovie::kOpenCreate);
        for (auto at = frames.begin(); frames.end() - at >= frameBytes; at += frameBytes) {
            std::vector<uint8_t> frame(at, at + frameBytes);
            movie.WriteFrame(CVisRGBAByteImage(CVisShape(0, 0, width, height), frame.data()), -1);
        }
        movie.Close();
        return true;
    } catch (...) {
        return false;
    }
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
    const int result = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

bool EncodeWithFfmpeg(const std::vector<uint8_t>& rawFrames, int width, int height, const std::string& inputFormat,
                      const std::string& outputOptions, const std::string& moviePath) {
    const std::string rawPath = moviePath + ".raw";
    if (!WriteBytes(rawPath, rawFrames)) return false;
    int status = -1;
    RunCommand("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt " + inputFormat + " -s " + std::to_string(width) +
                   "x" + std::to_string(height) + " -r 10 -i '" + rawPath + "' " + outputOptions + " '" +
                   moviePath + "'",
               &status);
    std::remove(rawPath.c_str());
    return status == 0;
}

std::vector<uint8_t> DecodeWithFfmpeg(const std::string& moviePath) {
    const std::string rawPath = moviePath + ".decoded.raw";
    int status = -1;
    RunCommand("ffmpeg -nostdin -v error -y -i '" + moviePath + "' -f rawvideo -pix_fmt bgra '" + rawPath + "'",
               &status);
    std::vector<uint8_t> bytes = status == 0 ? ReadBytes(rawPath) : std::vector<uint8_t>();
    std::remove(rawPath.c_str());
    return bytes;
}

std::map<std::string, std::string> ProbeVideoStream(const std::string& moviePath) {
    const std::string output = RunCommand("ffprobe -v error -select_streams v:0 -count_packets -show_streams "
                                          "-of default=nw=1 '" +
                                          moviePath + "'");
    std::map<std::string, std::string> fields;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return fields;
}

std::vector<std::string> ProbePacketFlags(const std::string& moviePath) {
    const std::string output = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                                          "-of csv=p=0 '" +
                                          moviePath + "'");
    std::vector<std::string> flags;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty()) flags.push_back(line);
    }
    return flags;
}

namespace {

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Offset of the first chunk with that id within the first `limit` bytes, or npos.
size_t FindChunk(const std::vector<uint8_t>& bytes, const char* id, size_t limit) {
    const size_t end = std::min(bytes.size(), limit);
    for (size_t at = 0; at + 8 <= end; ++at) {
        if (std::memcmp(&bytes[at], id, 4) == 0) return at;
    }
    return std::string::npos;
}

}  // namespace

AviStreamHeader ReadAviStreamHeader(const std::string& moviePath) {
    AviStreamHeader header;
    std::vector<uint8_t> bytes(64 * 1024);
    std::ifstream in(moviePath, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    const size_t strh = FindChunk(bytes, "strh", bytes.size());
    const size_t strf = FindChunk(bytes, "strf", bytes.size());
    if (strh == std::string::npos || strf == std::string::npos || strh + 8 + 36 > bytes.size() ||
        strf + 8 + 40 > bytes.size()) {
        return header;
    }
    const size_t h = strh + 8;
    header.type.assign(reinterpret_cast<const char*>(&bytes[h]), 4);
    header.handler = Le32(bytes, h + 4);
    header.scale = Le32(bytes, h + 20);
    header.rate = Le32(bytes, h + 24);
    header.length = Le32(bytes, h + 32);
    const size_t f = strf + 8;
    header.formatSize = Le32(bytes, f);
    header.width = static_cast<int32_t>(Le32(bytes, f + 4));
    header.height = static_cast<int32_t>(Le32(bytes, f + 8));
    header.planes = static_cast<uint16_t>(bytes[f + 12] | bytes[f + 13] << 8);
    header.bitCount = static_cast<uint16_t>(bytes[f + 14] | bytes[f + 15] << 8);
    header.compression = Le32(bytes, f + 16);
    header.found = true;
    return header;
}
