#include "LabelSurface.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "SurfaceExtractor.h"
#include "VolumeGrid.h"

namespace {

// Smoothing strength: enough passes and a low enough pass band to round off
// voxel steps (6 mm slices give tall ones), as segmentation tools do.
constexpr int kSmoothingIterations = 15;
constexpr double kPassBand = 0.1;
// The farthest smoothing may move a point along each axis, in voxels.
constexpr double kMaxShift = 0.25;


// The smallest box of voxels that holds `label`; empty (lo > hi) when none does.
struct VoxelBox {
    int lo[3] = {0, 0, 0};
    int hi[3] = {-1, -1, -1};
    bool Empty() const { return hi[0] < lo[0]; }
};

VoxelBox BoxOf(const CLabelGrid& grid, uint8_t label) {
    VoxelBox box;
    bool found = false;
    const uint8_t* voxel = grid.voxels;
    for (int z = 0; z < grid.sizeZ; ++z)
        for (int y = 0; y < grid.sizeY; ++y)
            for (int x = 0; x < grid.sizeX; ++x, ++voxel) {
                if (*voxel != label) continue;
                const int at[3] = {x, y, z};
                for (int axis = 0; axis < 3; ++axis) {
                    if (!found || at[axis] < box.lo[axis]) box.lo[axis] = at[axis];
                    if (!found || at[axis] > box.hi[axis]) box.hi[axis] = at[axis];
                }
                found = true;
            }
    return box;
}

}  // namespace

CMeshObject CLabelSurface::Extract(const CLabelGrid& grid, uint8_t label, const std::string& name) {
    const CSurfaceExtractor& extractor = CSurfaceExtractor::Get();
    CMeshObject object(name);
    if (grid.voxels == nullptr || label == 0) return object;
    const VoxelBox box = BoxOf(grid, label);
    if (box.Empty()) return object;

    // The label's box with one voxel of background round it, so the surface
    // closes also where the label touches the border of the grid. Points lie
    // at voxel centres in millimetres, data rows still running with y.
    CSurfaceExtractor::Mask mask;
    for (int axis = 0; axis < 3; ++axis) {
        mask.dims[axis] = box.hi[axis] - box.lo[axis] + 3;
        mask.spacing[axis] = grid.pixelSize[axis];
        mask.origin[axis] = (box.lo[axis] - 0.5) * grid.pixelSize[axis];
    }
    const int* dims = mask.dims;
    std::vector<uint8_t> voxels(static_cast<size_t>(dims[0]) * dims[1] * dims[2], 0);
    for (int z = box.lo[2]; z <= box.hi[2]; ++z)
        for (int y = box.lo[1]; y <= box.hi[1]; ++y) {
            const uint8_t* row = grid.voxels + (static_cast<size_t>(z) * grid.sizeY + y) * grid.sizeX;
            uint8_t* out = voxels.data() +
                           ((static_cast<size_t>(z - box.lo[2] + 1) * dims[1] + (y - box.lo[1] + 1)) * dims[0]) + 1;
            for (int x = box.lo[0]; x <= box.hi[0]; ++x) out[x - box.lo[0]] = row[x] == label ? 1 : 0;
        }
    mask.voxels = voxels.data();
    const CSurfaceExtractor::Surface surface = extractor.Extract(mask, kSmoothingIterations, kPassBand);

    // The points are in file millimetres, whose rows run against the
    // scene's y. The mirror turns the winding over, so each triangle is
    // written reversed.
    const CVolumeGrid sceneGrid({grid.sizeX, grid.sizeY, grid.sizeZ},
                                {grid.pixelSize[0], grid.pixelSize[1], grid.pixelSize[2]});
    const size_t pointCount = surface.points.size() / 3;
    object.m_vertices.reserve(pointCount);
    for (size_t i = 0; i < pointCount; ++i) {
        double p[3] = {surface.points[3 * i], surface.points[3 * i + 1], surface.points[3 * i + 2]};
        if (!surface.blocky.empty()) {
            // Smoothing alone would shrink a small label to a point and let
            // flat faces bulge past their voxels near corners; a bounded
            // shift rounds off the steps and keeps the surface true to them.
            for (int axis = 0; axis < 3; ++axis) {
                const double q = surface.blocky[3 * i + static_cast<size_t>(axis)];
                const double most = kMaxShift * grid.pixelSize[axis];
                p[axis] = std::clamp(p[axis], q - most, q + most);
            }
        }
        const CVolumeGrid::Point scene = sceneGrid.SceneOfFileMillimetres({p[0], p[1], p[2]});
        object.m_vertices.push_back(
            {static_cast<float>(scene[0]), static_cast<float>(scene[1]), static_cast<float>(scene[2])});
    }
    object.m_triangles.reserve(surface.triangles.size() / 3);
    for (size_t t = 0; t + 2 < surface.triangles.size(); t += 3)
        object.m_triangles.push_back({{surface.triangles[t], surface.triangles[t + 2], surface.triangles[t + 1]}});
    // Flying edges over a mask with background all round leaves no edge
    // open, and smoothing only moves the points.
    object.m_closedSurface = !object.m_triangles.empty();
    object.ComputeNormals();
    return object;
}

std::vector<CMeshObject> CLabelSurface::ExtractAll(const std::vector<Job>& jobs,
                                                   const std::function<void(double)>& progress) {
    // Loaded here, before the worker threads start, so that a module that
    // cannot be loaded fails once, on this thread.
    CSurfaceExtractor::Get();
    std::vector<CMeshObject> objects(jobs.size());
    std::atomic<size_t> next{0}, done{0};
    std::exception_ptr error;
    std::mutex errorMutex;
    auto work = [&](bool reporting) {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            try {
                objects[i] = Extract(jobs[i].grid, jobs[i].label, jobs[i].name);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(errorMutex);
                if (!error) error = std::current_exception();
            }
            ++done;
            if (reporting && progress) progress(static_cast<double>(done) / static_cast<double>(jobs.size()));
        }
    };
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t helpers = std::min<size_t>(std::min<size_t>(cores, 8), jobs.size()) - (jobs.empty() ? 0 : 1);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < helpers; ++i) threads.emplace_back(work, false);
    work(true);
    for (auto& thread : threads) thread.join();
    if (error) std::rethrow_exception(error);
    if (progress) progress(1.0);
    return objects;
}
