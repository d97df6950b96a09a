#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Affine.h"

class CLabelImage;
class CTimeVolume;

// Writes what the viewer holds as single-file NIfTI-1 images, .nii or (by the
// name) gzip-compressed .nii.gz, for segmentation tools and analysis scripts:
// a volume's every frame in the file's own units, or a label image on the
// volume's grid. Voxels keep the order the loaded file gave them (i fastest,
// then j, k, t). Each file is written whole beside its target and then takes
// its place, so a failed write leaves what was there.
class CNiftiExport {
public:
    // Where the grid lies: the transform from voxel indices to RAS millimetres
    // when one is known (written as sform and qform, code 1, scanner), else
    // none and the pixel sizes (a diagonal sform, code 0). The frame time
    // goes into the header with the pixel sizes, in mm and ms.
    struct CPlacement {
        std::optional<CAffine> transform;
        double pixelSize[3] = {1.0, 1.0, 1.0};
        double frameTimeMs = 0.0;
    };

    // Every frame of `volume`: whole values in the smallest of uint8, int16,
    // uint16 and int32 that holds them all, others as float32 (float64 for
    // whole values beyond int32). False, with `error` set, when the volume
    // kept no values or the file cannot be written.
    static bool WriteVolume(const CTimeVolume& volume, const CPlacement& placement, const std::string& path,
                            std::string& error);

    // `labels`, as uint8 when every label value fits, else uint16.
    static bool WriteLabels(const CLabelImage& labels, const CPlacement& placement, const std::string& path,
                            std::string& error);
};
