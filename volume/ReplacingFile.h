#pragma once

#include <zlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// A file being written in place of another: a temporary file beside the
// target, plain or gzip compressed, which takes the target's place only once
// it is complete (Commit). Dropped before then, or failing, it is removed and
// the target is left as it was.
class CReplacingFile {
public:
    CReplacingFile() = default;
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Creates the temporary file for `path`. False, with `error` set, when it cannot.
    bool Open(const std::string& path, bool compress, std::string& error);

    bool Compressed() const { return m_gz != nullptr; }

    // Writes `bytes` at `offset` of a plain file; any thread may.
    bool WriteAt(const void* data, size_t bytes, int64_t offset);

    // Writes `bytes` after what was written so far.
    bool Write(const void* data, size_t bytes);

    // Closes the file and puts it in the target's place. False, with `error`
    // saying why, when any write failed or the file cannot take its place.
    bool Commit(std::string& error);

private:
    bool Fail(std::string& error) const;

    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
    gzFile m_gz = nullptr;
    int64_t m_written = 0;  // bytes written by Write to a plain file
    std::atomic<int> m_errno{0};
};
