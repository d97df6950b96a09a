#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "FileMapping.h"
#include "NiftiHeader.h"

// A NIfTI image's header and its voxels as stored. A plain .nii is mapped into
// memory and read as it is used; a .nii.gz is decompressed once, into memory,
// by LoadVoxels. Voxels are numbered in file order: i fastest, then j, k, t.
class CNiftiImage {
public:
    using Progress = std::function<void(double fraction)>;

    CNiftiImage() = default;
    ~CNiftiImage();
    CNiftiImage(const CNiftiImage&) = delete;
    CNiftiImage& operator=(const CNiftiImage&) = delete;

    // Reads and checks the header and maps a plain file's voxels. False, with
    // `error` set, when the file cannot be read or is no sound NIfTI image.
    bool Open(const std::string& path, std::string& error);

    // Makes the voxels available: decompresses a .nii.gz (which fails, with
    // `error`, when its data is corrupt or shorter than the header announces);
    // nothing for a plain file. `progress` hears 0 to 1.
    bool LoadVoxels(const Progress& progress, std::string& error);
    bool VoxelsLoaded() const { return m_voxels != nullptr; }

    const CNiftiHeader& Header() const { return m_header; }

    // The file's bytes before its voxels, as stored: the header, the
    // extension flag and any extensions, Header().m_dataOffset of them.
    // Needs loaded voxels.
    const uint8_t* LeadingBytes() const { return m_voxels - m_header.m_dataOffset; }

    // The stored bytes of the voxels from `first` on, in the file's byte order.
    const uint8_t* VoxelBytes(int64_t first) const { return m_voxels + first * m_header.m_bytesPerVoxel; }

    // The values of voxels [first, first + count), as doubles: the stored
    // value times scl_slope plus scl_inter when the header scales its values
    // (`scaled`), else the stored value itself. Needs loaded voxels.
    void Values(int64_t first, int64_t count, double* values, bool scaled = true) const;

    // The plain file's mapping, which may outlive the image; null for a .nii.gz.
    const std::shared_ptr<const CFileMapping>& FileMapping() const { return m_file; }

    // Voxels [first, end) are done with for now. Only a mapped file acts on
    // this: its pages are handed back.
    void Release(int64_t first, int64_t end) const;

private:
    bool Decompress(const Progress& progress, std::string& error);
    void Advise(int64_t first, int64_t end, int advice, bool partial) const;
    void Unmap();

    CNiftiHeader m_header;
    std::string m_path;
    std::shared_ptr<const CFileMapping> m_file;
    void* m_mapping = nullptr;  // decompressed voxels
    size_t m_mappingSize = 0;
    bool m_fileMapped = false;  // the mapping is the file itself, not decompressed memory
    const uint8_t* m_voxels = nullptr;
};
