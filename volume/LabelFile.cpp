#include "LabelFile.h"

#include "NiftiImage.h"
#include "VolumeFormat.h"

bool IsLabelFileName(const std::string& path) {
    const CVolumeFormat* format = VolumeFormatOfPath(path);
    return format != nullptr && format->id == EVolumeFormat::kNifti;
}

bool ReadLabelFile(const std::string& path, CLabelImage& labels, std::string& error,
                   const std::function<void(double)>& progress) {
    CNiftiImage image;
    if (!image.Open(path, error) || !image.LoadVoxels(progress, error)) return false;
    const CNiftiHeader& header = image.Header();

    // Labels go into a new image, so a refused file leaves `labels` alone.
    // The stored values are scaled first when the header asks for it.
    CLabelImage read;
    const CLabelImage::ValueRuns values = [&image](int64_t first, int64_t count, double* out) {
        image.Values(first, count, out);
    };
    if (!read.Assign(values, header.m_sizeX, header.m_sizeY, header.m_sizeZ, header.m_frames, error)) return false;
    const CVolumeCalibration calibration = header.Calibration();
    read.m_pixelSize[0] = calibration.m_pixelSizeX.value_or(0.0);
    read.m_pixelSize[1] = calibration.m_pixelSizeY.value_or(0.0);
    read.m_pixelSize[2] = calibration.m_pixelSizeZ.value_or(0.0);
    read.m_transform = header.m_transform;
    labels = std::move(read);
    return true;
}
