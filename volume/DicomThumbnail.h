#pragma once

#include <string>

#include "ChoiceTable.h"
#include "DicomFolder.h"

class CDicomCodec;

// A small picture of a series for a chooser: its middle slice in the first
// frame, scaled down to fit a square and windowed over its own range.
//
// The image is decoded in a reader process, as for a load, so that a file
// that brings the DICOM library down costs only its picture.
class CDicomThumbnail {
public:
    // The picture of `series`, at most `largestSide` pixels wide and high.
    // False, with `error` set, when the series cannot be loaded or its image
    // not decoded. `inProcessCodec` as for CDicomFolder.
    static bool Make(const CDicomFolder::Series& series, int largestSide, CChoiceTable::Picture& picture,
                     std::string& error, const CDicomCodec* inProcessCodec = nullptr);
};
