#pragma once

#include <cstdint>
#include <string>

// The sample block of a volume file, read by position: any thread may read
// any run of samples at any time, and runs about to be needed can be asked for
// ahead. Reading copies the samples into the caller's buffer, which costs less
// than mapping the file: the mapping's page faults and releases are what a
// load would otherwise spend most of its system time on.
class CSampleFile {
public:
    CSampleFile() = default;
    ~CSampleFile();
    CSampleFile(const CSampleFile&) = delete;
    CSampleFile& operator=(const CSampleFile&) = delete;

    // Opens the file whose `sampleCount` samples of `sampleBytes` bytes each
    // start at byte `dataOffset`. False (with `error` set) when it cannot be
    // opened or is shorter than that.
    bool Open(const std::string& path, int64_t dataOffset, int sampleBytes, int64_t sampleCount, std::string& error);

    // Copies samples [first, first + count) as stored into `out`. Throws
    // std::runtime_error when they cannot be read (the file shrank, a disk error).
    void Read(int64_t first, int64_t count, void* out) const;

private:
    int m_fd = -1;
    int64_t m_dataOffset = 0;
    int m_sampleBytes = 0;
};
