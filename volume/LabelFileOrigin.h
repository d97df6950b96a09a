#pragma once

#include <cstdint>
#include <vector>

#include "NiftiHeader.h"

// What a label image's file was, so that an edited image can be written back
// in the form the tool that made the file reads it: the file's bytes before
// its voxels exactly as stored (header, extension flag and extensions, in the
// file's byte order) and that header as read (m_compressed: it was gzip data).
// Empty for a label image that came from no file.
class CLabelFileOrigin {
public:
    bool Empty() const { return m_leading.empty(); }

    std::vector<uint8_t> m_leading;
    CNiftiHeader m_header;
};
