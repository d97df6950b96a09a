// The DICOM library's reading of a file's header, built into the
// orvanta-dicom-header module and into orvanta-dicom. It uses only the
// library's parser, which loads in a fraction of the time the whole library
// takes (its dictionaries and image codecs): a folder scan needs no more.

#include "GdcmHeader.h"

#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "DicomCodec.h"

namespace {

// The tags the scan uses.
const gdcm::Tag kAcquisitionTime(0x0008, 0x0032);
const gdcm::Tag kSeriesDescription(0x0008, 0x103e);
const gdcm::Tag kSliceThickness(0x0018, 0x0050);
const gdcm::Tag kTriggerTime(0x0018, 0x1060);
const gdcm::Tag kSeriesUid(0x0020, 0x000e);
const gdcm::Tag kSeriesNumber(0x0020, 0x0011);
const gdcm::Tag kInstanceNumber(0x0020, 0x0013);
const gdcm::Tag kImagePosition(0x0020, 0x0032);
const gdcm::Tag kImageOrientation(0x0020, 0x0037);
const gdcm::Tag kTemporalPosition(0x0020, 0x0100);
const gdcm::Tag kSamplesPerPixel(0x0028, 0x0002);
const gdcm::Tag kPhotometric(0x0028, 0x0004);
const gdcm::Tag kNumberOfFrames(0x0028, 0x0008);
const gdcm::Tag kRows(0x0028, 0x0010);
const gdcm::Tag kColumns(0x0028, 0x0011);
const gdcm::Tag kPixelSpacing(0x0028, 0x0030);
const gdcm::Tag kBitsAllocated(0x0028, 0x0100);
const gdcm::Tag kBitsStored(0x0028, 0x0101);
const gdcm::Tag kHighBit(0x0028, 0x0102);
const gdcm::Tag kPixelRepresentation(0x0028, 0x0103);
const gdcm::Tag kRescaleIntercept(0x0028, 0x1052);
const gdcm::Tag kRescaleSlope(0x0028, 0x1053);
const gdcm::Tag kSharedGroups(0x5200, 0x9229);
const gdcm::Tag kPerFrameGroups(0x5200, 0x9230);
const gdcm::Tag kPixelData(0x7fe0, 0x0010);
const gdcm::Tag kImageType(0x0008, 0x0008);
const gdcm::Tag kFrameTime(0x0018, 0x1063);
const gdcm::Tag kFrameTimeVector(0x0018, 0x1065);
// Functional groups, and the tags of theirs that are read.
const gdcm::Tag kPlanePosition(0x0020, 0x9113);
const gdcm::Tag kPlaneOrientation(0x0020, 0x9116);
const gdcm::Tag kPixelMeasures(0x0028, 0x9110);
const gdcm::Tag kFrameContent(0x0020, 0x9111);
const gdcm::Tag kStackId(0x0020, 0x9056);
const gdcm::Tag kTemporalPositionIndex(0x0020, 0x9128);
const gdcm::Tag kInStackPosition(0x0020, 0x9057);
const gdcm::Tag kDimensionIndexValues(0x0020, 0x9157);
const gdcm::Tag kCardiacSynchronization(0x0018, 0x9118);
const gdcm::Tag kTriggerDelay(0x0020, 0x9153);
const gdcm::Tag kPixelValueTransformation(0x0028, 0x9145);
const gdcm::Tag kMrFrameType(0x0018, 0x9226);
const gdcm::Tag kCtFrameType(0x0018, 0x9329);
const gdcm::Tag kFrameType(0x0008, 0x9007);
const gdcm::Tag kComplexComponent(0x0008, 0x9208);

std::string Trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const size_t end = text.find_last_not_of(std::string(" \t\r\n\0", 5));
    return end == std::string::npos || end < begin ? "" : text.substr(begin, end - begin + 1);
}

// The numbers of a multi-valued decimal string "a\b\c"; nothing when any is not a number.
std::vector<double> Numbers(const std::string& text) {
    std::vector<double> numbers;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\\', start), text.size());
        std::string piece = Trimmed(text.substr(start, end - start));
        if (!piece.empty() && piece[0] == '+') piece.erase(0, 1);
        double value = 0.0;
        const auto [rest, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || rest != piece.data() + piece.size() ||
            !std::isfinite(value))
            return {};
        numbers.push_back(value);
        start = end + 1;
    }
    return numbers;
}

std::optional<double> Number(const std::string& text) {
    const std::vector<double> numbers = Numbers(text);
    if (numbers.empty()) return std::nullopt;
    return numbers[0];
}

// A time of day HHMMSS.FFFFFF (or the old HH:MM:SS) in seconds.
std::optional<double> TimeOfDay(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    text = Trimmed(text);
    if (text.size() < 2 || text.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    if (whole.size() % 2 != 0 || whole.size() > 6) return std::nullopt;
    double seconds = 0.0;
    const double units[3] = {3600.0, 60.0, 1.0};
    for (size_t i = 0; i < whole.size(); i += 2) seconds += std::stoi(whole.substr(i, 2)) * units[i / 2];
    if (point != std::string::npos && point + 1 < text.size()) {
        // Appended rather than concatenated: GCC 12 warns falsely (-Wrestrict) about "0" + string.
        std::string decimal = "0";
        decimal.append(text, point, std::string::npos);
        const std::optional<double> fraction = Number(decimal);
        if (!fraction) return std::nullopt;
        seconds += *fraction;
    }
    return seconds;
}

// The items of a sequence the reader parsed as such; one it left as bytes is not looked into.
const gdcm::SequenceOfItems* SequenceOf(const gdcm::DataElement& element) {
    if (element.IsEmpty()) return nullptr;
    return dynamic_cast<const gdcm::SequenceOfItems*>(&element.GetValue());
}

// The first item of the sequence `tag` in `data`, or nothing.
const gdcm::DataSet* FirstItem(const gdcm::DataSet& data, const gdcm::Tag& tag) {
    if (!data.FindDataElement(tag)) return nullptr;
    const gdcm::DataElement& element = data.GetDataElement(tag);
    const gdcm::SequenceOfItems* items = SequenceOf(element);
    if (items == nullptr || items->GetNumberOfItems() == 0) return nullptr;
    return &items->GetItem(1).GetNestedDataSet();
}

// The text of an element of a text VR, as it is stored (these are plain characters in every syntax).
std::string TextOf(const gdcm::DataElement* element) {
    if (element == nullptr || element->IsEmpty() || element->GetByteValue() == nullptr) return "";
    const gdcm::ByteValue& bytes = *element->GetByteValue();
    return Trimmed(std::string(bytes.GetPointer(), bytes.GetLength()));
}

// The value of an element the scan reads as text: the characters of a text
// VR, or the number of a US element (the size and bit tags of group 0028),
// whose two bytes the parser leaves in the machine's order whatever the
// file's. (The library's own conversion needs its dictionaries, which cost
// more to load than a small series takes to read.)
std::string ValueText(const gdcm::DataElement& element) {
    const gdcm::Tag tag = element.GetTag();
    const bool unsignedShort =
        tag.GetGroup() == 0x0028 &&
        (tag.GetElement() == 0x0002 || tag.GetElement() == 0x0010 || tag.GetElement() == 0x0011 ||
         (tag.GetElement() >= 0x0100 && tag.GetElement() <= 0x0103));
    if (!unsignedShort) return TextOf(&element);
    const gdcm::ByteValue* bytes = element.GetByteValue();
    if (bytes == nullptr || bytes->GetLength() != sizeof(uint16_t)) return "";
    uint16_t value = 0;
    std::memcpy(&value, bytes->GetPointer(), sizeof value);
    return std::to_string(value);
}

// One binary number (FD, UL) of an element; enhanced images are little-endian.
template <typename T>
std::optional<double> Binary(const gdcm::DataElement* element) {
    if (element == nullptr || element->GetByteValue() == nullptr ||
        element->GetByteValue()->GetLength() < sizeof(T))
        return std::nullopt;
    T value;
    std::memcpy(&value, element->GetByteValue()->GetPointer(), sizeof value);
    const double number = static_cast<double>(value);
    if (!std::isfinite(number)) return std::nullopt;
    return number;
}

// Every value of a UL element (Dimension Index Values), at most a few dozen.
std::vector<uint32_t> Unsigneds(const gdcm::DataElement* element) {
    std::vector<uint32_t> values;
    if (element == nullptr || element->GetByteValue() == nullptr) return values;
    const size_t count = std::min<size_t>(element->GetByteValue()->GetLength() / sizeof(uint32_t), 64);
    values.resize(count);
    if (count > 0)
        std::memcpy(values.data(), element->GetByteValue()->GetPointer(), count * sizeof(uint32_t));
    return values;
}

std::optional<std::array<double, 3>> Triple(const std::string& text) {
    const std::vector<double> n = Numbers(text);
    if (n.size() != 3) return std::nullopt;
    return std::array<double, 3>{n[0], n[1], n[2]};
}

std::optional<std::array<double, 6>> Orientation(const std::string& text) {
    const std::vector<double> n = Numbers(text);
    if (n.size() != 6) return std::nullopt;
    return std::array<double, 6>{n[0], n[1], n[2], n[3], n[4], n[5]};
}

std::optional<std::array<double, 2>> Pair(const std::string& text) {
    const std::vector<double> n = Numbers(text);
    if (n.size() != 2) return std::nullopt;
    return std::array<double, 2>{n[0], n[1]};
}

void SetRescale(CDicomImageHeader& header, const std::string& slopeText, const std::string& interceptText) {
    // An absent or zero slope means none: the values stay as stored.
    const std::optional<double> slope = Number(slopeText);
    header.rescaleSlope = slope && *slope != 0.0 ? *slope : 1.0;
    header.rescaleIntercept = Number(interceptText).value_or(0.0);
}

// What Image Type or Frame Type ("ORIGINAL\\PRIMARY\\P\\ND") says the values are.
std::string TypeOfImage(const std::string& text) {
    std::vector<std::string> values;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\\', start), text.size());
        values.push_back(Trimmed(text.substr(start, end - start)));
        start = end + 1;
    }
    auto has = [&values](std::initializer_list<const char*> names) {
        return std::any_of(values.begin(), values.end(), [&names](const std::string& value) {
            return std::any_of(names.begin(), names.end(),
                               [&value](const char* name) { return value == name; });
        });
    };
    if (has({"VELOCITY", "VELOCITY MAP"})) return "velocity";
    if (has({"P", "PHASE", "PHASE MAP"})) return "phase";
    if (has({"M", "MAGNITUDE"})) return "magnitude";
    return "";
}

int Whole(const std::optional<double>& value, int fallback) {
    if (!value || !(*value >= -2147483648.0 && *value <= 2147483647.0)) return fallback;
    return static_cast<int>(*value);
}

int32_t Whole(const std::optional<double>& value, int32_t fallback, int32_t maximum) {
    if (!value || !(*value >= 0.0 && *value <= maximum)) return fallback;
    return static_cast<int32_t>(*value);
}

// Where the pixel data of a file the reader has read up to it lies, when the
// frames can be read straight from the file: one sample per pixel, values of
// 8, 16 or 32 bits with the stored bits at the bottom, a little-endian data
// set that is neither deflated nor compressed, and every frame's bytes in the
// file. Anything else is left to the library.
std::optional<CDicomImageHeader::NativePixels> NativePixelsOf(
    const gdcm::Reader& reader, const std::string& path, const CDicomImageHeader& header,
    const std::string& bitsAllocated, const std::string& bitsStored, const std::string& highBit,
    const std::string& representation) {
    const gdcm::TransferSyntax syntax = reader.GetFile().GetHeader().GetDataSetTransferSyntax();
    const bool explicitVr = syntax == gdcm::TransferSyntax::ExplicitVRLittleEndian;
    if (!explicitVr && syntax != gdcm::TransferSyntax::ImplicitVRLittleEndian) return std::nullopt;
    CDicomImageHeader::NativePixels pixels;
    pixels.bitsAllocated = Whole(Number(bitsAllocated), 0, 64);
    pixels.bitsStored = Whole(Number(bitsStored), 0, 64);
    const std::optional<double> representationValue = Number(representation);
    if (header.samplesPerPixel != 1 ||
        (pixels.bitsAllocated != 8 && pixels.bitsAllocated != 16 && pixels.bitsAllocated != 32) ||
        pixels.bitsStored < 1 || pixels.bitsStored > pixels.bitsAllocated ||
        Whole(Number(highBit), -1, 64) != pixels.bitsStored - 1 || !representationValue ||
        (*representationValue != 0.0 && *representationValue != 1.0))
        return std::nullopt;
    pixels.isSigned = *representationValue == 1.0;
    const size_t start = reader.GetStreamCurrentPosition();
    std::error_code error;
    pixels.fileSize = std::filesystem::file_size(path, error);
    if (error || start == static_cast<size_t>(-1) || start < pixels.lead.size() || start >= pixels.fileSize)
        return std::nullopt;
    pixels.offset = start;
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(start - pixels.lead.size()));
    if (!file.read(reinterpret_cast<char*>(pixels.lead.data()),
                   static_cast<std::streamsize>(pixels.lead.size())))
        return std::nullopt;
    // The element must be Pixel Data itself, (7fe0,0010): in explicit VR its
    // tag, "OB" or "OW", two zero bytes and the length; in implicit VR its tag and the length.
    const unsigned char* lead = pixels.lead.data();
    const unsigned char pixelData[4] = {0xe0, 0x7f, 0x10, 0x00};
    const bool tagged = explicitVr ? std::memcmp(lead, pixelData, 4) == 0 && lead[4] == 'O' &&
                                         (lead[5] == 'B' || lead[5] == 'W') && lead[6] == 0 && lead[7] == 0
                                   : std::memcmp(lead + 4, pixelData, 4) == 0;
    pixels.length =
        uint64_t{lead[8]} | uint64_t{lead[9]} << 8 | uint64_t{lead[10]} << 16 | uint64_t{lead[11]} << 24;
    const uint64_t frameBytes =
        uint64_t(header.rows) * uint64_t(header.columns) * uint64_t(pixels.bitsAllocated / 8);
    // An undefined length (0xffffffff) is compressed data, which never gets here, or damage.
    if (!tagged || pixels.length == 0xffffffffu || pixels.length > pixels.fileSize - pixels.offset ||
        pixels.length / frameBytes < uint64_t(header.frames))
        return std::nullopt;
    return pixels;
}

// The frames of a classic multi-frame file (a cine run, a multi-frame MR):
// one place, the frames are time.
std::vector<CDicomImageHeader> ClassicFrames(const CDicomImageHeader& file, std::optional<double> frameTime) {
    std::vector<CDicomImageHeader> frames;
    for (int32_t k = 0; k < file.frames; ++k) {
        CDicomImageHeader frame = file;
        frame.frame = k;
        frame.triggerTime.reset();
        frame.temporalPosition.reset();
        if (frameTime && std::isfinite(*frameTime) && *frameTime > 0.0)
            frame.triggerTime = *frameTime * k;
        else
            frame.temporalPosition = k;
        frames.push_back(std::move(frame));
    }
    return frames;
}

// The frames of an enhanced file, each with what its per-frame functional
// groups say, else the shared ones. (The library's image reader takes the
// geometry of every frame from the first, so the groups are read here.)
std::vector<CDicomImageHeader> EnhancedFrames(const gdcm::DataSet& data, const CDicomImageHeader& file) {
    const gdcm::DataSet* shared = FirstItem(data, kSharedGroups);
    const gdcm::SequenceOfItems* perFrame =
        data.FindDataElement(kPerFrameGroups) ? SequenceOf(data.GetDataElement(kPerFrameGroups)) : nullptr;
    std::vector<CDicomImageHeader> frames;
    for (int32_t k = 0; k < file.frames; ++k) {
        const gdcm::DataSet* own = nullptr;
        if (perFrame && static_cast<size_t>(k) < perFrame->GetNumberOfItems())
            own = &perFrame->GetItem(static_cast<size_t>(k) + 1).GetNestedDataSet();
        auto element = [&](const gdcm::Tag& group, const gdcm::Tag& tag) -> const gdcm::DataElement* {
            for (const gdcm::DataSet* set : {own, shared}) {
                const gdcm::DataSet* inner = set ? FirstItem(*set, group) : nullptr;
                if (inner && inner->FindDataElement(tag)) return &inner->GetDataElement(tag);
            }
            return nullptr;
        };
        auto text = [&](const gdcm::Tag& group, const gdcm::Tag& tag) { return TextOf(element(group, tag)); };
        CDicomImageHeader frame = file;
        frame.frame = k;
        if (const auto position = Triple(text(kPlanePosition, kImagePosition))) frame.position = position;
        if (const auto orientation = Orientation(text(kPlaneOrientation, kImageOrientation)))
            frame.orientation = orientation;
        if (const auto spacing = Pair(text(kPixelMeasures, kPixelSpacing))) frame.pixelSpacing = spacing;
        if (const auto thickness = Number(text(kPixelMeasures, kSliceThickness)))
            frame.sliceThickness = thickness;
        frame.stackId = text(kFrameContent, kStackId);
        frame.temporalPosition = Binary<uint32_t>(element(kFrameContent, kTemporalPositionIndex));
        frame.inStackPosition = Binary<uint32_t>(element(kFrameContent, kInStackPosition));
        frame.dimensionIndex = Unsigneds(element(kFrameContent, kDimensionIndexValues));
        frame.triggerTime = Binary<double>(element(kCardiacSynchronization, kTriggerDelay));
        const gdcm::DataElement* slope = element(kPixelValueTransformation, kRescaleSlope);
        if (slope) SetRescale(frame, TextOf(slope), text(kPixelValueTransformation, kRescaleIntercept));
        std::string type = text(kMrFrameType, kFrameType);
        if (type.empty()) type = text(kCtFrameType, kFrameType);
        // Appended in two steps: GCC 12 warns falsely (-Wrestrict) about "\\" + string.
        type += '\\';
        type += text(kMrFrameType, kComplexComponent);
        if (const std::string frameType = TypeOfImage(type); !frameType.empty()) frame.imageType = frameType;
        // Frames that nothing else orders keep their order in the file.
        frame.instanceNumber = k;
        frames.push_back(std::move(frame));
    }
    return frames;
}

}  // namespace

std::vector<CDicomImageHeader> ReadDicomHeader(const std::string& path, bool& readable) {
    readable = false;
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    try {
        // Everything up to the pixel data, which is left unread. (Reading only
        // selected tags ends the process on a deflated data set.)
        if (!reader.ReadUpToTag(kPixelData, {kPixelData})) return {};
    } catch (...) {
        return {};
    }
    readable = true;
    const gdcm::DataSet& data = reader.GetFile().GetDataSet();
    auto text = [&](const gdcm::Tag& tag) {
        return data.FindDataElement(tag) ? ValueText(data.GetDataElement(tag)) : std::string();
    };

    CDicomImageHeader header;
    header.path = path;
    // Without a pixel matrix the file is no image: a directory, report or presentation state.
    header.rows = Whole(Number(text(kRows)), 0, 65535);
    header.columns = Whole(Number(text(kColumns)), 0, 65535);
    if (header.rows <= 0 || header.columns <= 0) return {};
    header.seriesUid = text(kSeriesUid);
    if (const std::optional<double> number = Number(text(kSeriesNumber)))
        header.seriesNumber = Whole(number, 0);
    header.seriesDescription = text(kSeriesDescription);
    header.frames = Whole(Number(text(kNumberOfFrames)), 1, 1 << 30);
    header.enhanced = data.FindDataElement(kSharedGroups) || data.FindDataElement(kPerFrameGroups);
    header.samplesPerPixel = Whole(Number(text(kSamplesPerPixel)), 1, 65535);
    header.photometric = text(kPhotometric);
    header.imageType = TypeOfImage(text(kImageType));
    header.position = Triple(text(kImagePosition));
    header.orientation = Orientation(text(kImageOrientation));
    header.pixelSpacing = Pair(text(kPixelSpacing));
    header.sliceThickness = Number(text(kSliceThickness));
    header.triggerTime = Number(text(kTriggerTime));
    header.temporalPosition = Number(text(kTemporalPosition));
    header.acquisitionTime = TimeOfDay(text(kAcquisitionTime));
    header.instanceNumber = Number(text(kInstanceNumber));
    SetRescale(header, text(kRescaleSlope), text(kRescaleIntercept));
    header.native = NativePixelsOf(reader, path, header, text(kBitsAllocated), text(kBitsStored),
                                   text(kHighBit), text(kPixelRepresentation));
    if (header.frames <= 1) return {header};
    if (header.enhanced) return EnhancedFrames(data, header);
    std::optional<double> frameTime = Number(text(kFrameTime));
    if (!frameTime) {
        // The increments from each frame to the next; the first is 0.
        std::vector<double> increments = Numbers(text(kFrameTimeVector));
        if (increments.size() > 1) {
            increments.erase(increments.begin());
            std::sort(increments.begin(), increments.end());
            frameTime = increments[increments.size() / 2];
        }
    }
    return ClassicFrames(header, frameTime);
}

void SilenceLibraryMessages() {
    gdcm::Trace::SetDebug(false);
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
}

namespace {

// The header module's reader: the folder scan reads headers only.
class CGdcmHeaderReader final : public CDicomCodec {
public:
    CGdcmHeaderReader() { SilenceLibraryMessages(); }

    std::vector<CDicomImageHeader> ReadHeader(const std::string& path, bool& readable) const override {
        return ReadDicomHeader(path, readable);
    }
    void Decode(const std::string&, int32_t, int32_t, Image&) const override {
        throw std::logic_error(" cannot be decoded by the header reader");
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CDicomCodec* OrvantaDicomHeaderReader() {
    static const CGdcmHeaderReader reader;
    return &reader;
}
