// The DICOM library's side of CDicomCodec, built as the orvanta-dicom module
// with GdcmHeader.cpp: only these two files include the library.

#include <gdcmAttribute.h>
#include <gdcmImageReader.h>
#include <gdcmReader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "DicomCodec.h"
#include "DicomStoredBits.h"
#include "GdcmHeader.h"

namespace {

// The tag whose value is the pixels.
const gdcm::Tag kPixelData(0x7fe0, 0x0010);

EValueType ValueTypeOf(gdcm::PixelFormat::ScalarType type) {
    using T = EValueType;
    switch (type) {
        case gdcm::PixelFormat::UINT8: return T::kUInt8;
        case gdcm::PixelFormat::INT8: return T::kInt8;
        case gdcm::PixelFormat::UINT16: return T::kUInt16;
        case gdcm::PixelFormat::INT16: return T::kInt16;
        case gdcm::PixelFormat::UINT32: return T::kUInt32;
        case gdcm::PixelFormat::INT32: return T::kInt32;
        case gdcm::PixelFormat::UINT64: return T::kUInt64;
        case gdcm::PixelFormat::INT64: return T::kInt64;
        case gdcm::PixelFormat::FLOAT32: return T::kFloat32;
        case gdcm::PixelFormat::FLOAT64: return T::kFloat64;
        default: return T::kUnknown;
    }
}

uint32_t LengthAt(std::istream& file, std::streamoff at, bool bigEndian) {
    unsigned char bytes[4] = {};
    file.seekg(at);
    if (!file.read(reinterpret_cast<char*>(bytes), 4)) return 0;
    return bigEndian
               ? uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3]
               : uint32_t{bytes[3]} << 24 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | bytes[0];
}

// Where the file's pixel data ends, so that the decoder is given only that
// much: the library would otherwise go on to parse whatever follows, and
// exporters leave megabytes of padding or stray bytes there that cost seconds
// or make it fail. Throws when the pixel data is cut short (the library reads
// uncompressed pixel data that breaks off as if it were whole). Nothing when
// the end cannot be told from the file's bytes (a deflated data set).
std::optional<uint64_t> PixelDataEnd(const std::string& path) {
    gdcm::Reader probe;
    probe.SetFileName(path.c_str());
    // Skipping the pixel data leaves the stream where its value begins.
    const std::runtime_error cut(" cannot be read: it is truncated or damaged");
    if (!probe.ReadUpToTag(kPixelData, {kPixelData})) throw cut;
    const gdcm::TransferSyntax syntax = probe.GetFile().GetHeader().GetDataSetTransferSyntax();
    const size_t start = probe.GetStreamCurrentPosition();
    if (syntax == gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian || start == static_cast<size_t>(-1) ||
        start < 8)
        return std::nullopt;
    std::error_code error;
    const uint64_t fileSize = std::filesystem::file_size(path, error);
    if (error || start >= fileSize) return std::nullopt;  // no pixel data: the decoder says so
    std::ifstream file(path, std::ios::binary);
    const bool bigEndian = syntax == gdcm::TransferSyntax::ExplicitVRBigEndian;
    const auto at = static_cast<std::streamoff>(start);
    // The value's length is the four bytes before it, in explicit and implicit VR alike.
    const uint32_t length = LengthAt(file, at - 4, bigEndian);
    if (length != 0xffffffffu) {
        if (start + uint64_t{length} > fileSize) throw cut;
        return start + uint64_t{length};
    }
    // Compressed fragments: items up to the sequence delimiter.
    uint64_t item = start;
    while (item + 8 <= fileSize) {
        const uint32_t tag = LengthAt(file, static_cast<std::streamoff>(item), false);
        const uint32_t itemLength = LengthAt(file, static_cast<std::streamoff>(item) + 4, false);
        if (tag == 0xe0ddfffeu) return item + 8;
        if (tag != 0xe000fffeu || itemLength == 0xffffffffu) return std::nullopt;
        item += 8 + uint64_t{itemLength};
    }
    throw cut;
}

void FollowPixelRepresentation(const gdcm::PixelFormat& format, CDicomCodec::Image& image) {
    KeepStoredBits(format.GetPixelRepresentation() == 1, format.GetBitsStored(), format.GetHighBit(), image);
}

// Messages begin where the file's name ends; the caller names the file.
void DecodeImage(const std::string& path, int32_t columns, int32_t rows, CDicomCodec::Image& image) {
    const std::optional<uint64_t> end = PixelDataEnd(path);
    gdcm::ImageReader reader;
    std::istringstream head;
    if (end) {
        std::string bytes(static_cast<size_t>(*end), '\0');
        std::ifstream file(path, std::ios::binary);
        if (!file.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
            throw std::runtime_error(" cannot be read: it is truncated or damaged");
        head.str(std::move(bytes));
        reader.SetStream(head);
    } else {
        reader.SetFileName(path.c_str());
    }
    bool read = false;
    try {
        read = reader.Read();
    } catch (...) {
        read = false;
    }
    if (!read) throw std::runtime_error(" cannot be read: it is truncated or damaged");
    const gdcm::Image& decoded = reader.GetImage();
    const gdcm::PixelFormat& format = decoded.GetPixelFormat();
    if (format.GetSamplesPerPixel() != 1)
        throw std::runtime_error(" is a colour image (photometric interpretation " +
                                 std::string(gdcm::PhotometricInterpretation::GetPIString(
                                     decoded.GetPhotometricInterpretation())) +
                                 "); only grey-scale images can be shown");
    if (decoded.GetColumns() != static_cast<unsigned>(columns) ||
        decoded.GetRows() != static_cast<unsigned>(rows))
        throw std::runtime_error(" holds pixel data of another size than its header announces");
    const unsigned frames = decoded.GetNumberOfDimensions() > 2 ? decoded.GetDimension(2) : 1;
    if (frames < 1 || frames > (1u << 30))
        throw std::runtime_error(" holds pixel data in a layout that cannot be shown");
    image.frames = static_cast<int32_t>(frames);
    image.type = ValueTypeOf(format.GetScalarType());
    image.typeName = format.GetScalarTypeAsString();
    const size_t needed = size_t(columns) * size_t(rows) * format.GetPixelSize() * frames;
    const unsigned long length = decoded.GetBufferLength();
    if (length < needed || (image.type != EValueType::kUInt8 && image.type != EValueType::kInt8 &&
                            format.GetBitsAllocated() % 8 != 0))
        throw std::runtime_error(" holds pixel data in a layout that cannot be shown");
    image.bytes.resize(length);
    bool got = false;
    try {
        got = decoded.GetBuffer(image.bytes.data());
    } catch (...) {
        got = false;
    }
    if (!got) throw std::runtime_error(": its pixel data cannot be decoded");
    // What the file says wins over what a compressed stream coded.
    gdcm::PixelFormat stored = format;
    gdcm::Attribute<0x0028, 0x0103> representation{};
    const gdcm::DataSet& data = reader.GetFile().GetDataSet();
    if (data.FindDataElement(representation.GetTag())) {
        representation.SetFromDataSet(data);
        stored.SetPixelRepresentation(representation.GetValue() == 1 ? 1 : 0);
    }
    FollowPixelRepresentation(stored, image);
}

class CGdcmCodec final : public CDicomCodec {
public:
    CGdcmCodec() { SilenceLibraryMessages(); }

    std::vector<CDicomImageHeader> ReadHeader(const std::string& path, bool& readable) const override {
        return ReadDicomHeader(path, readable);
    }
    void Decode(const std::string& path, int32_t columns, int32_t rows, Image& image) const override;
};

}  // namespace

void CGdcmCodec::Decode(const std::string& path, int32_t columns, int32_t rows, Image& image) const {
    DecodeImage(path, columns, rows, image);
}

extern "C" __attribute__((visibility("default"))) const CDicomCodec* OrvantaDicomCodec() {
    static const CGdcmCodec codec;
    return &codec;
}
