#pragma once

#include <string>
#include <vector>

#include "DicomImageHeader.h"

// What CDicomCodec::ReadHeader does, for both modules that hold the DICOM
// library's side of it (see GdcmHeader.cpp).
std::vector<CDicomImageHeader> ReadDicomHeader(const std::string& path, bool& readable);
// Keeps the library's own warnings and errors out of the program's output.
void SilenceLibraryMessages();
