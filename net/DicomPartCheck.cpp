#include "DicomPartCheck.h"

#include <algorithm>

namespace {

constexpr size_t kMagicAt = 128;
constexpr size_t kMetaAt = 132;

uint16_t Read16(std::string_view bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t Read32(std::string_view bytes, size_t at) {
    return static_cast<uint32_t>(Read16(bytes, at)) | static_cast<uint32_t>(Read16(bytes, at + 2)) << 16;
}

// Value representations whose length takes four bytes after two reserved ones.
bool HasLongLength(std::string_view vr) {
    for (const char* longVr : {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"})
        if (vr == longVr) return true;
    return false;
}

}  // namespace

std::string DicomPartProblem(std::string_view head, int64_t size) {
    head = head.substr(0, static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(size, head.size()))));
    if (head.size() < kMetaAt || head.substr(kMagicAt, 4) != "DICM")
        return "is not a DICOM file (no \"DICM\" after a 128-byte preamble)";
    bool transferSyntax = false;
    size_t at = kMetaAt;
    while (true) {
        if (at + 8 > head.size()) {
            if (static_cast<int64_t>(at) >= size)
                break;  // the object ends within or right after the meta group
            if (head.size() < kDicomPartHeadBytes) return "is cut short in its file meta information";
            return "has a file meta group longer than 64 KiB";
        }
        const uint16_t group = Read16(head, at);
        if (group != 0x0002) break;
        const uint16_t element = Read16(head, at + 2);
        const std::string_view vr = head.substr(at + 4, 2);
        uint64_t length = 0;
        size_t valueAt = 0;
        if (HasLongLength(vr)) {
            if (at + 12 > head.size()) return "is cut short in its file meta information";
            length = Read32(head, at + 8);
            valueAt = at + 12;
        } else {
            length = Read16(head, at + 6);
            valueAt = at + 8;
        }
        if (valueAt + length > static_cast<uint64_t>(size))
            return "is cut short in its file meta information";
        if (element == 0x0010) transferSyntax = length > 0;
        at = valueAt + length;
    }
    if (at == kMetaAt) return "has no file meta information after \"DICM\"";
    if (!transferSyntax) return "names no transfer syntax in its file meta information";
    if (static_cast<int64_t>(at) >= size) return "is cut short: it ends with its file meta information";
    return {};
}
