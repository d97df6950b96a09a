#pragma once

#include <string>

#include "RawPicture.h"

// Writes the picture as a PNG file: 8 bits per pixel as a 256-entry palette
// picture, 24 as RGB, 32 as RGBA; the picture's blue, green, red byte order is
// swapped to the file's red, green, blue; the first row becomes the top row.
// The file is written beside the target under a temporary name and renamed
// over it only when complete, so a failure (returned as false, without a
// message) leaves neither a broken file nor damage to an existing one.
bool RPwritePNG(const RawPicture& picture, const std::string& path);

// Nearest-neighbour rescaling by two factors, mapping the first and last rows
// and columns of the source onto those of the result. Returns a new picture
// the caller releases with RPfree. Factors of 0 or below, or pixels that cannot
// be allocated, give a picture with status kRawPictureNoMemory and no pixels.
RawPicture RPresample(const RawPicture& picture, double scaleX, double scaleY);
