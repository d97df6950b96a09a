#include "NiftiImage.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "PageAdvice.h"

namespace {

std::string Text(int64_t value) {
    return std::to_string(value);
}

// Input and output are handed to zlib in pieces its 32-bit counters can hold.
constexpr size_t kPiece = size_t{1} << 30;

}  // namespace

CNiftiImage::~CNiftiImage() {
    Unmap();
}

void CNiftiImage::Unmap() {
    if (m_mapping != nullptr) munmap(m_mapping, m_mappingSize);
    m_mapping = nullptr;
    m_file.reset();
    m_mappingSize = 0;
    m_voxels = nullptr;
}

bool CNiftiImage::Open(const std::string& path, std::string& error) {
    Unmap();
    m_path = path;
    if (!m_header.Read(path, error)) return false;
    if (m_header.m_compressed) return true;

    m_file = CFileMapping::Open(path, m_header.FileBytesNeeded(), error);
    if (!m_file) return false;
    m_file->Advise(MADV_SEQUENTIAL);
    m_fileMapped = true;
    m_voxels = m_file->Data() + m_header.m_dataOffset;
    return true;
}

bool CNiftiImage::LoadVoxels(const Progress& progress, std::string& error) {
    if (!VoxelsLoaded() && !Decompress(progress, error)) return false;
    if (progress) progress(1.0);
    return true;
}

bool CNiftiImage::Decompress(const Progress& progress, std::string& error) {
    const int64_t needed = m_header.FileBytesNeeded();
    const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat info {};
    void* input = MAP_FAILED;
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        input = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (input == MAP_FAILED) {
        error = "cannot map file: " + std::string(std::strerror(errno));
        return false;
    }
    const auto inputSize = static_cast<size_t>(info.st_size);
    madvise(input, inputSize, MADV_SEQUENTIAL);
    std::unique_ptr<void, std::function<void(void*)>> inputMapping(
        input, [inputSize](void* p) { munmap(p, inputSize); });

    // Pages are only taken as they are written, so a header that announces
    // more than the data holds costs address space, not memory.
    void* output = mmap(nullptr, static_cast<size_t>(needed), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (output == MAP_FAILED) {
        error = "not enough memory to decompress " + Text(needed) + " bytes";
        return false;
    }
#ifdef MADV_HUGEPAGE
    madvise(output, static_cast<size_t>(needed), MADV_HUGEPAGE);
#endif
    std::unique_ptr<void, std::function<void(void*)>> outputMapping(
        output, [needed](void* p) { munmap(p, static_cast<size_t>(needed)); });

    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) {
        error = "cannot start decompressing";
        return false;
    }
    auto* in = static_cast<const uint8_t*>(input);
    auto* out = static_cast<uint8_t*>(output);
    size_t inAt = 0, outAt = 0;
    size_t released = 0;
    // Past the voxels the rest of the data is still checked, into scratch.
    uint8_t scratch[16384];
    int result = Z_OK;
    for (;;) {
        if (stream.avail_in == 0 && inAt < inputSize) {
            const size_t piece = std::min(kPiece, inputSize - inAt);
            stream.next_in = const_cast<uint8_t*>(in + inAt);
            stream.avail_in = static_cast<uInt>(piece);
            inAt += piece;
        }
        const bool full = outAt >= static_cast<size_t>(needed);
        const size_t room =
            full ? sizeof scratch : std::min<size_t>(kPiece / 64, static_cast<size_t>(needed) - outAt);
        stream.next_out = full ? scratch : out + outAt;
        stream.avail_out = static_cast<uInt>(room);
        result = inflate(&stream, Z_NO_FLUSH);
        if (!full) outAt += room - stream.avail_out;
        if (result == Z_STREAM_END) {
            // Concatenated gzip members make one file; anything else after
            // the data is not ours to read.
            const size_t left = stream.avail_in + (inputSize - inAt);
            const uint8_t* next = stream.next_in;
            if (left >= 2 && next[0] == 0x1f && next[1] == 0x8b && inflateReset(&stream) == Z_OK) continue;
            break;
        }
        if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_in == 0 && inAt < inputSize)) break;
        // The compressed pages read so far are not needed again.
        const size_t consumed = static_cast<size_t>(stream.next_in - in) & ~size_t{0xffff};
        if (consumed > released + (size_t{64} << 20)) {
            madvise(input, consumed, MADV_DONTNEED);
            released = consumed;
        }
        if (progress) progress(static_cast<double>(stream.next_in - in) / static_cast<double>(inputSize));
    }
    const std::string zlibMessage = stream.msg != nullptr ? ": " + std::string(stream.msg) : "";
    inflateEnd(&stream);
    if (result == Z_MEM_ERROR) {
        error = "not enough memory to decompress";
        return false;
    }
    if (result != Z_STREAM_END && result != Z_BUF_ERROR) {
        error = "the gzip data is corrupt" + zlibMessage;
        return false;
    }
    if (outAt < static_cast<size_t>(needed)) {
        error = "the file is truncated: it holds " + Text(static_cast<int64_t>(outAt)) +
                " bytes, its header announces " + Text(needed);
        return false;
    }
    if (result != Z_STREAM_END) {
        error = "the gzip data ends early";
        return false;
    }
    m_mapping = outputMapping.release();
    m_mappingSize = static_cast<size_t>(needed);
    m_fileMapped = false;
    m_voxels = static_cast<const uint8_t*>(m_mapping) + m_header.m_dataOffset;
    return true;
}

void CNiftiImage::Values(int64_t first, int64_t count, double* values, bool scaled) const {
    scaled = scaled && m_header.IsScaled();
    const double slope = m_header.Slope(), intercept = m_header.Intercept();
    VisitValues(m_header.ValueType(), VoxelBytes(first), count, m_header.m_swapped, [&](const auto* stored, int64_t n) {
        // Whether to scale is asked once a run, not once a voxel.
        if (scaled)
            for (int64_t i = 0; i < n; ++i) values[i] = static_cast<double>(stored[i]) * slope + intercept;
        else
            for (int64_t i = 0; i < n; ++i) values[i] = static_cast<double>(stored[i]);
        values += n;
    });
}

void CNiftiImage::Advise(int64_t first, int64_t end, int advice, bool partial) const {
    // Decompressed voxels have no file behind them: dropping them would lose them.
    if (m_fileMapped) AdvisePages(VoxelBytes(first), VoxelBytes(end), advice, partial);
}

void CNiftiImage::Release(int64_t first, int64_t end) const {
    Advise(first, end, MADV_DONTNEED, false);
}
