#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Triangle.h"
#include "Vec3d.h"

// One mesh of an .obj file (one group): its vertices in file order, one unit
// normal per vertex once computed, and its triangles. The group name carries
// the time frame the mesh belongs to after its last '-' ("heart-07" is frame 7).
// A plain value: copies copy everything.
class CMeshObject {
public:
    // The number of points per contour that capping assumes for tube meshes
    // built from stacked contours.
    static constexpr int kNodesPerSlice = 25;

    CMeshObject() = default;
    explicit CMeshObject(std::string name) : m_name(std::move(name)) {}

    // The number after the last '-' of the name, read as atoi reads it
    // ("a-b-12x" gives 12, "heart-" gives 0); -1 when the name has no '-'.
    int FrameNumber() const;
    // The name before its last '-'; the whole name when it has none.
    std::string BaseName() const;

    // The mean of the vertices; the origin when there are none.
    Vec3d Centroid() const;
    // Moves every vertex by `offset`; normals stay as they are.
    void Translate(const Vec3d& offset);
    // The square root of the summed squared distances of the vertices from the
    // origin: the centroid size once the object is centred on its centroid.
    double CentroidSize() const;

    // One normal per vertex: the normalised sum of the unit normals of the
    // triangles around it, so every triangle counts the same whatever its
    // area. A vertex in no triangle, or only in triangles of no area, gets
    // the zero vector.
    void ComputeNormals();

    // Closes both open ends of a tube of stacked kNodesPerSlice-point
    // contours with a fan of triangles each: the first contour (vertices 0 to
    // 24) and the last (the final 25 vertices). Normals are not recomputed.
    // Each call adds the caps again. An object with fewer vertices than one
    // contour has no rings to close and is left as it is.
    void ZCap();

    std::string m_name;
    std::vector<Vec3d> m_vertices;
    std::vector<Vec3d> m_normals;
    std::vector<Triangle> m_triangles;
    // Set by whoever builds the triangles as one closed, consistently wound
    // surface (label surfaces are, by the way they are made), so that their
    // enclosed volume needs no check of every edge; code that changes the
    // triangles clears it.
    bool m_closedSurface = false;
    // The label value whose surface this is, set by the label layer that made
    // it; 0 for an object read from a mesh file, whatever it is called. Names
    // are the user's to choose and say nothing about where an object came from.
    int64_t m_label = 0;
};
