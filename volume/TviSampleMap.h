#pragma once

#include <cstdint>
#include <string>

// The sample block of a .tvi file mapped read-only into memory, so a load can
// walk the samples twice (count, then convert) without holding a 16-bit copy.
// Pages already walked are handed back with Release, which keeps the resident
// memory of a load near the size of its 8-bit result.
class CTviSampleMap {
public:
    CTviSampleMap() = default;
    ~CTviSampleMap();
    CTviSampleMap(const CTviSampleMap&) = delete;
    CTviSampleMap& operator=(const CTviSampleMap&) = delete;

    // Maps `sampleCount` samples behind the header. False (with `error` set)
    // when the file cannot be opened or no longer holds that many samples.
    bool Open(const std::string& path, int64_t sampleCount, std::string& error);

    const uint16_t* Samples() const { return m_samples; }

    // Starts reading samples [begin, end) from the disk, without waiting.
    void WillNeed(int64_t begin, int64_t end) const;

    // Drops the whole pages inside samples [begin, end) from this process's
    // resident memory; the data stays readable (it is read again from the file).
    void Release(int64_t begin, int64_t end) const;

private:
    // Applies `advice` to the pages that lie wholly inside samples [begin, end),
    // or (with `partial`) that hold any of them.
    void Advise(int64_t begin, int64_t end, int advice, bool partial) const;

    void* m_mapping = nullptr;
    size_t m_mappingSize = 0;
    const uint16_t* m_samples = nullptr;
};
