#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DicomImageHeader.h"
#include "ValueType.h"

// What the DICOM library does for the program: reading the tags of a file and
// decoding its pixels. The library, and the image codecs it brings, live in a
// module that the first folder scan or series load brings in.
//
// The library ends the process on many damaged files, so callers run these in
// reader processes (CIsolatedRun); Get() must have been called before those
// are started, so that each inherits the loaded module.
class CDicomCodec {
public:
    // One decoded image file: the raw values of its frames as the file stores them, frame after frame.
    struct Image {
        std::vector<char> bytes;
        int32_t frames = 1;
        EValueType type = EValueType::kUnknown;
        std::string typeName;  // the library's name for the type, for messages
    };

    // The module's codec, loading it on first use with the library's own
    // messages silenced. Throws std::runtime_error when it cannot be loaded.
    static const CDicomCodec& Get();
    // A reader of headers only (its Decode throws), from a module that loads
    // in a tenth of the time: what a folder scan needs. The same rules hold.
    static const CDicomCodec& Headers();

    // Reads the header of one file: one per frame. Nothing when the file is
    // not a DICOM image; `readable` is false when it could not be parsed at all.
    virtual std::vector<CDicomImageHeader> ReadHeader(const std::string& path, bool& readable) const = 0;

    // Reads and decodes the image file `path`, whose frames must each hold
    // columns x rows grey values. Throws std::runtime_error with why it
    // cannot, worded to follow the file's name ("... cannot be read: it is
    // truncated or damaged").
    virtual void Decode(const std::string& path, int32_t columns, int32_t rows, Image& image) const = 0;

protected:
    ~CDicomCodec() = default;
};
