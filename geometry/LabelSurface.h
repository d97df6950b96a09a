#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MeshObject.h"

// One frame of a label image, borrowed: sizeX x sizeY x sizeZ label indices
// (0 = background), x fastest, then data rows, then slices, and the voxel
// size in millimetres.
struct CLabelGrid {
    const uint8_t* voxels = nullptr;
    int sizeX = 0, sizeY = 0, sizeZ = 0;
    double pixelSize[3] = {1.0, 1.0, 1.0};
};

// Turns labelled voxels into smooth closed surfaces: the boundary of one
// label is extracted with discrete flying edges and smoothed with a windowed
// sinc filter, which rounds off the voxel steps without shrinking the shape.
// Vertices come out in the millimetre frame the planes place the voxels in:
// data column c, row r, slice z at ((c + 0.5) px, (Y - r - 0.5) py, (z + 0.5) pz).
class CLabelSurface {
public:
    // One surface to build: label `label` of `grid`, as object `name`.
    struct Job {
        CLabelGrid grid;
        uint8_t label = 0;
        std::string name;
    };

    // The surface of the voxels of `label`, named `name`: shared vertices
    // (rounded to single precision, as an .obj file holds them), triangles
    // counter-clockwise seen from outside, and vertex normals. Voxels at the
    // border of the grid are closed off as if background lay beyond it. An
    // object without vertices when the label has no voxels.
    static CMeshObject Extract(const CLabelGrid& grid, uint8_t label, const std::string& name);

    // Extract for every job, spread over the machine's cores; the results are
    // in job order. `progress`, when given, hears the fraction done from the
    // calling thread.
    static std::vector<CMeshObject> ExtractAll(const std::vector<Job>& jobs,
                                               const std::function<void(double)>& progress = {});
};
