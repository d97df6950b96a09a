#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How many of a part's first bytes the check below needs: the preamble, the
// magic and a file meta group of any sane length.
constexpr size_t kDicomPartHeadBytes = 64 * 1024;

// Why a retrieved object that begins with `head` (its first bytes, up to
// kDicomPartHeadBytes) and is `size` bytes long cannot be a DICOM file; empty
// when it can. A DICOM file opens with a 128-byte preamble, "DICM" and a file
// meta group in explicit little endian that names the transfer syntax; an
// object whose meta group runs past its end, or that ends with it, was cut short.
std::string DicomPartProblem(std::string_view head, int64_t size);
