#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

// The first bytes of a file mapped read-only for as long as the record lives,
// so that a volume can read its samples from the file's own pages instead of
// a copy. The file stays open: it may be renamed or deleted meanwhile, and the
// pages stay those of the file that was opened.
//
// A file that shrinks while mapped would make every read of its lost pages
// raise SIGBUS and end the program. Mappings are guarded against that: such a
// read finds zeros instead (the lost pages are replaced by empty ones) and the
// mapping reports itself changed, so that the viewer can say so.
class CFileMapping {
public:
    ~CFileMapping();
    CFileMapping(const CFileMapping&) = delete;
    CFileMapping& operator=(const CFileMapping&) = delete;

    // Maps bytes [0, bytes) of `path`. Null, with `error` set, when the file
    // cannot be opened, is shorter than that or cannot be mapped.
    static std::shared_ptr<const CFileMapping> Open(const std::string& path, int64_t bytes,
                                                    std::string& error);

    const uint8_t* Data() const { return m_data; }
    int64_t Size() const { return m_size; }

    // False when no guard could be had for this mapping (too many at once):
    // it must then not outlive the reading that needs it.
    bool Guarded() const { return m_slot >= 0; }

    // True when the file was cut short under the mapping, or was written to
    // or resized since it was mapped: what the mapping shows is then no
    // longer what was loaded.
    bool Changed() const;

    // Tells the kernel how the mapping will be read (MADV_SEQUENTIAL, ...).
    void Advise(int advice) const;

private:
    CFileMapping() = default;

    int m_fd = -1;
    uint8_t* m_data = nullptr;
    int64_t m_size = 0;
    size_t m_mappedSize = 0;
    int m_slot = -1;
    off_t m_fileSize = 0;
    int64_t m_modified = 0;  // ns
};
