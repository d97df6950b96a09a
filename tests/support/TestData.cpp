#include "TestData.h"

#include <nifti1.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TviContents TviVolume(int x, int y, int z, int t, const VoxelRule& rule) {
    TviContents volume;
    volume.sizeX = x;
    volume.sizeY = y;
    volume.sizeZ = z;
    volume.frames = t;
    volume.Allocate();
    if (rule)
        for (int zi = 0; zi < z; ++zi)
            for (int ti = 0; ti < t; ++ti)
                for (int yi = 0; yi < y; ++yi)
                    for (int xi = 0; xi < x; ++xi) volume.At(xi, yi, zi, ti) = rule(xi, yi, zi, ti);
    return volume;
}

uint16_t CodedSample(int x, int y, int z, int t) {
    return static_cast<uint16_t>((x * 3 + y * 17 + z * 41 + t * 7) % 250);
}

std::vector<uint16_t> FrameMajorSamples(const TviContents& volume) {
    std::vector<uint16_t> samples;
    samples.reserve(volume.samples.size());
    for (int t = 0; t < volume.frames; ++t)
        for (int z = 0; z < volume.sizeZ; ++z) {
            const auto first =
                volume.samples.begin() + static_cast<std::ptrdiff_t>(volume.IndexOf(0, 0, z, t));
            samples.insert(samples.end(), first, first + int64_t{volume.sizeX} * volume.sizeY);
        }
    return samples;
}

std::vector<uint8_t> LabelValues(int x, int y, int z, int t, const VoxelRule& rule) {
    const std::vector<uint16_t> samples = FrameMajorSamples(TviVolume(x, y, z, t, rule));
    return std::vector<uint8_t>(samples.begin(), samples.end());
}

NiftiContents NiftiOfTvi(const TviContents& volume) {
    NiftiContents nifti = NiftiVolume(volume.sizeX, volume.sizeY, volume.sizeZ, volume.frames, DT_UINT16,
                                      FrameMajorSamples(volume));
    nifti.SetPixelSizes(volume.pixelSizeX, volume.pixelSizeY, volume.pixelSizeZ);
    return nifti;
}

std::vector<std::string> WriteDicomSeries(const std::string& folder, const DicomImageFields& image,
                                          int slices, int frames, double gap, double step,
                                          const DicomImageChange& each) {
    std::filesystem::create_directories(folder);
    const std::array<double, 6> o = image.orientation.value_or(std::array<double, 6>{1, 0, 0, 0, 1, 0});
    const double normal[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5],
                              o[0] * o[4] - o[1] * o[3]};
    const std::array<double, 3> origin = image.position.value_or(std::array<double, 3>{0, 0, 0});
    std::vector<std::string> paths;
    for (int z = 0; z < slices; ++z)
        for (int t = 0; t < frames; ++t) {
            DicomImageFields fields = image;
            fields.orientation = o;
            fields.position =
                std::array<double, 3>{origin[0] + gap * z * normal[0], origin[1] + gap * z * normal[1],
                                      origin[2] + gap * z * normal[2]};
            fields.triggerTime = step * t;
            if (fields.values.empty())
                fields.values.assign(static_cast<size_t>(fields.rows) * fields.columns, 10.0 * z + t);
            if (each) each(fields, z, t);
            paths.push_back((std::filesystem::path(folder) /
                             (fields.seriesUid + "-" + std::to_string(z) + "-" + std::to_string(t) + ".dcm"))
                                .string());
            if (!WriteDicomImage(paths.back(), fields)) return {};
        }
    return paths;
}

bool WriteNibabelEnhancedMr(const std::string& path) {
    gzFile in = gzopen("/usr/lib/python3/dist-packages/nibabel/nicom/tests/data/philips_mprage.dcm.gz", "rb");
    if (in == nullptr) return false;
    std::string bytes;
    char chunk[1 << 16];
    int got = 0;
    while ((got = gzread(in, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(got));
    gzclose(in);
    return got == 0 && WriteText(path, bytes);
}

std::vector<std::string> SplitEnhancedMr(const std::string& path, const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string command = "gdcmtar --unenhance -i '" + path + "' -o '" + folder + "/' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    // gdcmtar names the files 0, 1, ... after the frames.
    std::vector<std::string> paths;
    for (int frame = 0; std::filesystem::exists(folder + "/" + std::to_string(frame)); ++frame)
        paths.push_back(folder + "/" + std::to_string(frame));
    return paths;
}
