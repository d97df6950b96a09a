#pragma once

#include <array>
#include <optional>

#include "Affine.h"

// The grid a volume's voxels make in the scene, and its two numberings of one
// voxel. The file's voxel (i, j, k: column, row, slice, as the file stores
// them, the status bar and --voxel count them, and a transform maps them)
// has its centre at scene millimetres ((i + 0.5) px, (Y - j - 0.5) py,
// (k + 0.5) pz): the scene's y runs up while the data rows run down. The
// viewer's position (the title, --position) counts x and y from the far side,
// as the planes are placed: position (X - 1 - i, Y - 1 - j, k). Every map
// between those goes through here, so no flip or half-voxel is written twice.
class CVolumeGrid {
public:
    using Index = std::array<int, 3>;
    using Point = CAffine::Vector;

    CVolumeGrid() = default;
    CVolumeGrid(const Index& size, const Point& pixelSize) : m_size(size), m_pixelSize(pixelSize) {}

    const Index& Size() const { return m_size; }
    const Point& PixelSize() const { return m_pixelSize; }
    // True when the grid holds voxels of a usable size.
    bool IsUsable() const;

    // The same voxel in the other numbering; its own inverse, so it serves
    // both ways. Counts in 64 bits and holds the result to int: a position
    // need not lie in the grid.
    Index OtherNumbering(const Index& voxel) const;

    // Scene millimetres of a point in file voxel coordinates (centres at
    // whole numbers), and back.
    Point SceneOfVoxel(const Point& voxel) const;
    Point VoxelOfScene(const Point& scene) const;
    // Scene millimetres of a point in file millimetres: the file's axes
    // scaled by the pixel sizes from the box's corner, so voxel centres lie
    // at ((i + 0.5) px, (j + 0.5) py, (k + 0.5) pz) and rows run with y.
    // Only y changes, as Y py - y, so that points measured in the file land
    // on the scene's y without a round trip through voxels; its own inverse.
    Point SceneOfFileMillimetres(const Point& file) const;
    // The map of VoxelOfScene; nothing when the grid is not usable.
    std::optional<CAffine> SceneToVoxel() const;

    // The file voxel whose cell holds scene point `scene`, held to the grid.
    Index VoxelCellOfScene(const Point& scene) const;

    // The position a mesh file centres the planes on, from its centroid:
    // the millimetres rounded to whole ones and counted in whole voxels, x
    // from the far side, y and z from 0. It lies up to a voxel from the
    // cell under the point (VoxelCellOfScene), but mesh files have always been
    // placed by it. Not held to the grid; NaN gives 0.
    Index PositionNearScene(const Point& scene) const;

    // Where the plane through position `index` (the viewer's numbering) lies
    // along `axis`, as a fraction of the box (0 to 1).
    double PlaneFraction(int axis, int index) const;
    // The scene millimetre along `axis` of the plane at `fraction` of a box
    // `extent` millimetres long: the YZ plane's fraction counts from the far
    // side of x, as the viewer's x does. Needs no grid, so that a scene whose
    // extent is not a volume's (meshes alone) places its planes alike.
    static double SceneOfPlaneFraction(int axis, double fraction, double extent);

    // The file voxel that texel (`row`, `column`) of the upright plane
    // `plane` (0: YZ, 1: XZ) through position `index` (the viewer's
    // numbering) shows. Texture rows are slices; texture columns run along
    // scene x (XZ) or scene y (YZ) from 0, so the YZ plane's columns read the
    // file's rows from the last. Counts in 64 bits like OtherNumbering.
    Index VoxelOfUprightTexel(int plane, int index, int row, int column) const;

private:
    Index m_size{};
    Point m_pixelSize{};
};
