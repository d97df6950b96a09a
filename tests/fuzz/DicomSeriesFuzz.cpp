// Everything a DICOM folder goes through after the DICOM library, in this
// process and so at full speed: the folder scan's grouping into series and
// stacks, the series layout and its sort, and the conversion of the values to
// voxels. The input describes up to six image files as the library would read
// them, each a header record (the tags the scan reads) and a pixel block (the
// values as the decoder hands them out); a stand-in codec serves them.
//
// Every image the stand-in reports is in exactly one series, and every file
// it calls unreadable that claims to be DICOM is named. A series that loads
// has the sizes its sorting gave, and its voxels keep the order of the
// rescaled values they come from; values that are not finite become black.
//
// Compiled with -ffp-contract=off: the rescaled values are recomputed here
// and must round as the loader's do.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DicomCodec.h"
#include "DicomFolder.h"
#include "DicomSeriesCheck.h"
#include "FuzzInput.h"
#include "TimeVolume.h"
#include "ShownPlane.h"

namespace {

using ValueType = EValueType;

constexpr int kMaxImages = 6;
// Sides up to this come with their pixels; two such images are more samples
// than a load counts by sorting, so both ways of counting are reached.
constexpr int32_t kMaxSide = 96;
// A pixel block shorter than its image may be repeated up to this size.
constexpr size_t kMaxRepeatedBytes = size_t{kMaxSide} * kMaxSide * 8;

template <typename T>
double ValueAs(const char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return static_cast<double>(value);
}

// The size of a value of each type, and how to read one, in the order of
// EValueType; an unknown type never loads.
struct ValueFormat {
    size_t bytes;
    double (*read)(const char*);
};
constexpr ValueFormat kFormats[] = {{8, ValueAs<double>},   {1, ValueAs<uint8_t>},  {1, ValueAs<int8_t>},
                                    {2, ValueAs<uint16_t>}, {2, ValueAs<int16_t>},  {4, ValueAs<uint32_t>},
                                    {4, ValueAs<int32_t>},  {8, ValueAs<uint64_t>}, {8, ValueAs<int64_t>},
                                    {4, ValueAs<float>},    {8, ValueAs<double>}};
static_assert(std::size(kFormats) == static_cast<size_t>(ValueType::kFloat64) + 1);

const ValueFormat& FormatOf(ValueType type) {
    return kFormats[static_cast<size_t>(type)];
}

// One file of the folder as the DICOM library would see it.
struct StandInFile {
    enum class Kind { kImage, kNotAnImage, kUnreadable };
    Kind kind = Kind::kNotAnImage;
    CDicomImageHeader header;
    CDicomCodec::Image pixels;
    bool decodeFails = false;
};

// Serves the files the input describes; file i of the folder is "im<i>".
class CStandInCodec final : public CDicomCodec {
public:
    std::vector<StandInFile> m_files;

    const StandInFile* Find(const std::string& path) const {
        const std::string name = std::filesystem::path(path).filename().string();
        for (size_t i = 0; i < m_files.size(); ++i)
            if (name == "im" + std::to_string(i)) return &m_files[i];
        return nullptr;
    }

    std::vector<CDicomImageHeader> ReadHeader(const std::string& path, bool& readable) const override {
        const StandInFile* file = Find(path);
        readable = file == nullptr || file->kind != StandInFile::Kind::kUnreadable;
        // As the library's reader: a file without a pixel matrix is no image.
        if (file == nullptr || file->kind != StandInFile::Kind::kImage || file->header.rows <= 0 ||
            file->header.columns <= 0)
            return {};
        // A multi-frame file gives a header per frame, as the library's reader
        // does for a classic run: the same place, the frames later in time.
        std::vector<CDicomImageHeader> frames;
        for (int32_t k = 0; k < std::max(file->header.frames, 1); ++k) {
            CDicomImageHeader frame = file->header;
            frame.path = path;
            frame.frame = k;
            if (frame.triggerTime) *frame.triggerTime += 40.0 * k;
            frames.push_back(std::move(frame));
        }
        return frames;
    }

    void Decode(const std::string& path, int32_t columns, int32_t rows, Image& image) const override {
        const StandInFile* file = Find(path);
        FuzzCheck(file != nullptr && file->kind == StandInFile::Kind::kImage,
                  "a file that is no image is decoded");
        FuzzCheck(columns == file->header.columns && rows == file->header.rows,
                  "an image is decoded at another size than its header gives");
        if (file->decodeFails) throw std::runtime_error(" cannot be read: it is truncated or damaged");
        const size_t needed = size_t(columns) * size_t(rows) * FormatOf(file->pixels.type).bytes;
        if (file->pixels.bytes.size() < needed)
            throw std::runtime_error(" holds pixel data in a layout that cannot be shown");
        image = file->pixels;
        // Every frame holds the same values.
        image.frames = std::max(file->header.frames, 1);
        const size_t frameBytes = image.bytes.size();
        for (int32_t k = 1; k < image.frames; ++k)
            image.bytes.insert(image.bytes.end(), file->pixels.bytes.begin(),
                               file->pixels.bytes.begin() + frameBytes);
    }
};

// Reads the description of the files from the input.
class CFileReader {
public:
    CFileReader(const uint8_t* data, size_t size) : m_input(data, size) {}

    std::vector<StandInFile> Files() {
        std::vector<StandInFile> files(m_input.ConsumeIntegralInRange<size_t>(1, kMaxImages));
        for (StandInFile& file : files) {
            const int kind = m_input.ConsumeIntegralInRange<int>(0, 9);
            file.kind = kind == 0   ? StandInFile::Kind::kNotAnImage
                        : kind == 1 ? StandInFile::Kind::kUnreadable
                                    : StandInFile::Kind::kImage;
            file.header = Header();
            file.decodeFails = m_input.ConsumeIntegralInRange<int>(0, 15) == 0;
            file.pixels = Pixels(file.header);
        }
        return files;
    }

private:
    template <typename T, size_t N>
    T Pick(const std::array<T, N>& choices) {
        return choices[m_input.ConsumeIntegralInRange<size_t>(0, N - 1)];
    }
    bool Present() { return m_input.ConsumeIntegralInRange<int>(0, 3) != 0; }
    // A number as a tag holds it: mostly small and shared between images, so
    // that positions and times coincide; sometimes any finite value.
    double Number(double step) {
        if (m_input.ConsumeIntegralInRange<int>(0, 15) == 0) return m_input.ConsumeFloatingPoint<double>();
        return m_input.ConsumeIntegralInRange<int>(-4, 4) * step;
    }
    std::optional<double> MaybeNumber(double step) {
        if (!Present()) return std::nullopt;
        return Number(step);
    }

    int32_t Side() {
        if (m_input.ConsumeIntegralInRange<int>(0, 31) == 0)
            return m_input.ConsumeIntegralInRange<int32_t>(0, 65535);
        return m_input.ConsumeIntegralInRange<int32_t>(0, kMaxSide);
    }

    CDicomImageHeader Header() {
        CDicomImageHeader h;
        h.seriesUid = Pick(std::array<const char*, 4>{"1.2.840.1", "1.2.840.2", "1.2.840.3", ""});
        if (Present()) h.seriesNumber = m_input.ConsumeIntegralInRange<int>(-1, 3);
        h.seriesDescription = Pick(std::array<const char*, 3>{"", "cine", "cine SA"});
        h.rows = Side();
        h.columns = Side();
        h.frames = Pick(std::array<int32_t, 5>{1, 1, 1, 0, 2});
        h.samplesPerPixel = Pick(std::array<int32_t, 4>{1, 1, 1, 3});
        h.photometric = Pick(
            std::array<const char*, 6>{"MONOCHROME2", "MONOCHROME2", "MONOCHROME1", "", "RGB", "YBR_FULL"});
        if (Present()) h.position = {Number(2.5), Number(2.5), Number(2.5)};
        if (Present()) {
            constexpr double kTilt = CDicomSeriesLayout::kOrientationTolerance / 2;
            using Orientation = std::array<double, 6>;
            const Orientation choices[] = {{1, 0, 0, 0, 1, 0},
                                           {1, 0, 0, 0, 1, 0},
                                           {1, 0, 0, 0, 0, -1},
                                           {0, 1, 0, 0, 0, -1},
                                           {1, 0, 0, 0, 1, kTilt},
                                           {0, 0, 0, 0, 0, 0},
                                           {1, 0, 0, Number(1), Number(1), Number(1)}};
            h.orientation = choices[m_input.ConsumeIntegralInRange<size_t>(0, std::size(choices) - 1)];
        }
        if (Present()) h.pixelSpacing = {Number(0.5), Number(0.5)};
        h.sliceThickness = MaybeNumber(2.0);
        h.triggerTime = MaybeNumber(40.0);
        h.temporalPosition = MaybeNumber(1.0);
        h.acquisitionTime = MaybeNumber(0.05);
        h.instanceNumber = MaybeNumber(1.0);
        // As the library's reader gives them: an absent or zero slope is 1.
        const double slope = Pick(std::array<double, 5>{1, 1, 2, 0.5, -1});
        h.rescaleSlope = m_input.ConsumeIntegralInRange<int>(0, 15) == 0 ? Number(1.0) : slope;
        if (h.rescaleSlope == 0.0) h.rescaleSlope = 1.0;
        h.rescaleIntercept = m_input.ConsumeIntegralInRange<int>(0, 7) == 0 ? Number(512.0) : 0.0;
        // The scanner's own counting, which places frames without position or time.
        h.inStackPosition = MaybeNumber(1.0);
        for (int n = m_input.ConsumeIntegralInRange<int>(0, 3); n > 0; --n)
            h.dimensionIndex.push_back(m_input.ConsumeIntegralInRange<uint32_t>(0, 3));
        return h;
    }

    CDicomCodec::Image Pixels(const CDicomImageHeader& header) {
        CDicomCodec::Image pixels;
        pixels.type =
            static_cast<ValueType>(m_input.ConsumeIntegralInRange<size_t>(0, std::size(kFormats) - 1));
        pixels.typeName = "type " + std::to_string(static_cast<int>(pixels.type));
        const bool repeat = m_input.ConsumeBool();
        const size_t needed = size_t(std::max(header.rows, 0)) * size_t(std::max(header.columns, 0)) *
                              FormatOf(pixels.type).bytes;
        pixels.bytes = m_input.ConsumeBytes<char>(m_input.ConsumeIntegralInRange<size_t>(0, needed));
        // A few bytes stand for a whole image, as long as it stays small.
        const size_t given = pixels.bytes.size();
        if (repeat && given > 0 && needed <= kMaxRepeatedBytes) {
            pixels.bytes.resize(needed);
            for (size_t i = given; i < needed; ++i) pixels.bytes[i] = pixels.bytes[i % given];
        }
        return pixels;
    }

    FuzzedDataProvider m_input;
};

// The files of the folder, made once: empty, every second one marked as
// DICOM, so that an unreadable file is named only when it claims to be DICOM.
std::string MakeFolder() {
    const std::string folder = ScratchPath("dicom");
    std::filesystem::create_directories(folder);
    std::string claim(132, '\0');
    claim.replace(128, 4, "DICM");
    for (int i = 0; i < kMaxImages; ++i) {
        const std::string& bytes = i % 2 ? claim : std::string();
        WriteInputFile(folder + "/im" + std::to_string(i), reinterpret_cast<const uint8_t*>(bytes.data()),
                       bytes.size());
    }
    return folder;
}

// Voxels must be a non-decreasing function of the rescaled value (of its
// negative in a MONOCHROME1 series, which is shown turned over): the values
// that became each grey level lie above those of every darker level.
void CheckValueOrder(const CStandInCodec& codec, const CDicomSeriesLayout& layout,
                     const CTimeVolume& volume) {
    std::array<double, 256> lowest, highest;
    lowest.fill(std::numeric_limits<double>::infinity());
    highest.fill(-std::numeric_limits<double>::infinity());
    const size_t imageSamples = size_t(layout.Columns()) * size_t(layout.Rows());
    const double sign = layout.m_slices[0][0].photometric == "MONOCHROME1" ? -1.0 : 1.0;
    for (int32_t z = 0; z < layout.Slices(); ++z)
        for (int32_t t = 0; t < layout.Frames(); ++t) {
            const CDicomImageHeader& header = layout.m_slices[size_t(z)][size_t(t)];
            const StandInFile* file = codec.Find(header.path);
            const ShownPlane plane(volume.GetSlice(2, z, t, false));
            const uint8_t* voxels = plane.m_data;
            const ValueFormat& format = FormatOf(file->pixels.type);
            for (size_t i = 0; i < imageSamples; ++i) {
                const double raw = format.read(file->pixels.bytes.data() + i * format.bytes);
                const double value = sign * (raw * header.rescaleSlope + header.rescaleIntercept);
                if (!std::isfinite(value)) {
                    FuzzCheck(voxels[i] == 0, "a value that is not finite is not black");
                    continue;
                }
                lowest[voxels[i]] = std::min(lowest[voxels[i]], value);
                highest[voxels[i]] = std::max(highest[voxels[i]], value);
            }
        }
    double below = -std::numeric_limits<double>::infinity();
    for (size_t grey = 0; grey < 256; ++grey) {
        if (lowest[grey] > highest[grey]) continue;
        FuzzCheck(below < lowest[grey], "a larger value became a darker voxel");
        below = highest[grey];
    }
}

void CheckScan(const CStandInCodec& codec, const CDicomFolder& scan) {
    size_t images = 0, unreadable = 0;
    for (size_t i = 0; i < codec.m_files.size(); ++i) {
        const StandInFile& file = codec.m_files[i];
        // Each frame of a multi-frame file is an image of the series.
        if (file.kind == StandInFile::Kind::kImage && file.header.rows > 0 && file.header.columns > 0)
            images += static_cast<size_t>(std::max(file.header.frames, 1));
        unreadable += file.kind == StandInFile::Kind::kUnreadable && i % 2 == 1;
    }
    size_t grouped = 0;
    for (size_t i = 0; i < scan.m_series.size(); ++i) {
        const CDicomFolder::Series& series = scan.m_series[i];
        FuzzCheck(!series.images.empty(), "a series without images");
        FuzzCheck(!series.stack || i + 1 == scan.m_series.size(), "the stack is not the last entry");
        if (!series.stack) grouped += series.images.size();
        for (const CDicomImageHeader& image : series.images)
            FuzzCheck(series.stack || image.seriesUid == series.uid,
                      "an image in another series than its own");
        FuzzCheck(!series.Label().empty(), "a series without a label");
    }
    FuzzCheck(grouped == images, "not every image is in exactly one series");
    FuzzCheck(scan.m_unreadable.size() == unreadable,
              "the unreadable files claiming DICOM are not all named");
    std::string error;
    const int choice = scan.DefaultChoice();
    FuzzCheck(choice >= -1 && choice < static_cast<int>(scan.m_series.size()),
              "a default choice out of range");
    for (const std::string& name : {std::string("stack"), std::string("1"), std::string("1.2.840.1")})
        if (scan.FindChoice(name, error) < 0)
            FuzzCheck(!error.empty(), "a choice not found does not say why");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = MakeFolder();

    CStandInCodec codec;
    codec.m_files = CFileReader(data, size).Files();
    CDicomFolder scan(&codec);
    std::string error;
    FuzzCheck(scan.Scan(folder, error), "a readable folder scans");
    CheckScan(codec, scan);

    for (CDicomFolder::Series& series : scan.m_series) {
        CDicomSeriesLayout layout;
        CTimeVolume volume;
        if (LoadSeriesChecked(series, &codec, layout, volume)) CheckValueOrder(codec, layout, volume);
    }
    return 0;
}
