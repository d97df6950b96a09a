#pragma once

#include <optional>

#include "MeshObject.h"

// The volume a triangle mesh encloses, by the divergence theorem: the sum of
// the signed volumes of the tetrahedra each triangle spans with a fixed
// point. That sum is the enclosed volume only for a closed surface, so the
// mesh must be watertight first.
class CMeshVolume {
public:
    // True when every edge of the triangles is shared by exactly two
    // triangles that run along it in opposite directions: a closed surface
    // whose triangles all face the same way. A mesh without triangles, or
    // with a triangle naming a vertex it lacks or naming one twice, is not.
    static bool IsWatertight(const CMeshObject& object);
    // The enclosed volume in cubic millimetres (positive whichever way the
    // triangles face); none for a mesh that is not watertight. A mesh built
    // closed (m_closedSurface) is taken as it says.
    static std::optional<double> Enclosed(const CMeshObject& object);
};
