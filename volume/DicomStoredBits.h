#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "DicomCodec.h"

// Stored values hold Bits Stored bits, signed when Pixel Representation is 1.
// Decoders of compressed syntaxes hand over the bits as the stream codes them:
// a stream coded unsigned in a file that says signed comes back without its
// sign, and bits above the stored ones are not always cleared; in plain pixel
// data the bits above may hold an overlay. Both the DICOM module and the
// plain reading of uncompressed frames bring the values to what the file says.

template <typename U>
void KeepStoredBitsOf(std::vector<char>& bytes, unsigned bits, bool isSigned) {
    const size_t count = bytes.size() / sizeof(U);
    const U mask = static_cast<U>((U{1} << bits) - 1);
    const U top = static_cast<U>(U{1} << (bits - 1));
    for (size_t i = 0; i < count; ++i) {
        U value;
        std::memcpy(&value, bytes.data() + i * sizeof(U), sizeof(U));
        value = static_cast<U>(value & mask);
        if (isSigned && (value & top)) value = static_cast<U>(value | static_cast<U>(~mask));
        std::memcpy(bytes.data() + i * sizeof(U), &value, sizeof(U));
    }
}

// Gives the integer values of `image` the sign the file says and only their
// stored bits, where those lie at the bottom (`highBit` the one below `bits`).
inline void KeepStoredBits(bool isSigned, unsigned bits, unsigned highBit, CDicomCodec::Image& image) {
    using T = EValueType;
    unsigned width = 0;
    switch (image.type) {
        case T::kUInt8:
        case T::kInt8:
            width = 8;
            image.type = isSigned ? T::kInt8 : T::kUInt8;
            break;
        case T::kUInt16:
        case T::kInt16:
            width = 16;
            image.type = isSigned ? T::kInt16 : T::kUInt16;
            break;
        case T::kUInt32:
        case T::kInt32:
            width = 32;
            image.type = isSigned ? T::kInt32 : T::kUInt32;
            break;
        default:
            return;
    }
    // Bits placed anywhere but at the bottom are left as they are.
    if (bits == 0 || bits >= width || highBit + 1u != bits) return;
    if (width == 8) KeepStoredBitsOf<uint8_t>(image.bytes, bits, isSigned);
    if (width == 16) KeepStoredBitsOf<uint16_t>(image.bytes, bits, isSigned);
    if (width == 32) KeepStoredBitsOf<uint32_t>(image.bytes, bits, isSigned);
}
