// Opens the input as a NIfTI image (plain or gzip-compressed: the reader goes
// by the content, not the name), the way the viewer does, then reads every
// value through the image class the label reader shares, and asks the loaded
// volume for planes. A refused file must say why and leave the volume as it
// was; an accepted one must have the header's sizes and hand out every plane
// a texture can hold.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "NiftiImage.h"
#include "PlaneTexture.h"
#include "SliceImage.h"
#include "TimeVolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("input.nii", data, size);

    CNiftiImage image;
    std::string error;
    const bool opened = image.Open(path, error) && image.LoadVoxels({}, error);
    FuzzCheck(opened == error.empty(), "a refused image says why, an accepted one has no error");
    if (opened) {
        const CNiftiHeader& header = image.Header();
        FuzzCheck(header.m_sizeX >= 1 && header.m_sizeY >= 1 && header.m_sizeZ >= 1 && header.m_frames >= 1,
                  "an accepted header has sizes of at least 1");
        std::vector<double> values(4096);
        for (int64_t first = 0; first < header.VoxelCount(); first += 4096) {
            const int64_t count = std::min<int64_t>(4096, header.VoxelCount() - first);
            image.Values(first, count, values.data());
            for (int64_t i = 0; i < count; ++i) Consume(values[static_cast<size_t>(i)]);
        }
    }

    CTimeVolume volume;
    if (!volume.LoadFile(path, 0.98)) {
        FuzzCheck(!volume.LastError().empty(), "a refused load says why");
        FuzzCheck(!opened, "the load refuses an image the reader accepts");
        FuzzCheck(volume.SizeZ() == 0 && volume.SizeX() == 0,
                  "a refused load leaves the volume as it was");
        return 0;
    }
    FuzzCheck(opened, "the load accepts an image the reader refuses");
    const CNiftiHeader& header = image.Header();
    FuzzCheck(volume.SizeX() == header.m_sizeX && volume.SizeY() == header.m_sizeY &&
                  volume.SizeZ() == header.m_sizeZ && volume.Frames() == header.m_frames,
              "the volume's sizes differ from the header's");
    FuzzCheck(volume.FileInfo().m_format == EVolumeFormat::kNifti, "a NIfTI load names its format");
    const int32_t extents[3] = {volume.SizeX(), volume.SizeY(), volume.SizeZ()};
    for (int plane = 0; plane < 3; ++plane)
        for (int index : {0, extents[plane] / 2, extents[plane] - 1}) {
            CSliceImage slice = volume.GetSlice(plane, index, volume.Frames() - 1, true);
            FuzzCheck((slice.m_data != nullptr) == PlaneHasTexture(plane, extents[0], extents[1], extents[2]),
                      "a plane inside the volume comes back empty");
            if (slice.m_data != nullptr) Consume(slice.m_data, static_cast<size_t>(slice.ByteCount()));
            FreeSliceImage(slice);
        }
    return 0;
}
