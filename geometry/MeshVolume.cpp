#include "MeshVolume.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

bool CMeshVolume::IsWatertight(const CMeshObject& object) {
    if (object.m_triangles.empty()) return false;
    const auto count = static_cast<int64_t>(object.m_vertices.size());
    // Each directed edge as one number; in a closed, consistently oriented
    // surface every directed edge occurs once and its reverse once too.
    std::vector<uint64_t> edges;
    edges.reserve(object.m_triangles.size() * 3);
    for (const Triangle& triangle : object.m_triangles) {
        for (int corner = 0; corner < 3; ++corner) {
            const int64_t from = triangle.v[corner];
            const int64_t to = triangle.v[(corner + 1) % 3];
            if (from < 0 || to < 0 || from >= count || to >= count || from == to) return false;
            edges.push_back(static_cast<uint64_t>(from) << 32 | static_cast<uint64_t>(to));
        }
    }
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end()) return false;
    for (uint64_t edge : edges) {
        const uint64_t reverse = edge << 32 | edge >> 32;
        if (!std::binary_search(edges.begin(), edges.end(), reverse)) return false;
    }
    return true;
}

std::optional<double> CMeshVolume::Enclosed(const CMeshObject& object) {
    if (!IsWatertight(object)) return std::nullopt;
    // Tetrahedra from a vertex of the mesh rather than from the origin: the
    // terms stay of the mesh's own size, so a mesh far from the origin loses
    // no digits to cancellation.
    const Vec3d apex = object.m_vertices[static_cast<size_t>(object.m_triangles.front().v[0])];
    double sum = 0.0;
    for (const Triangle& triangle : object.m_triangles) {
        const Vec3d a = object.m_vertices[static_cast<size_t>(triangle.v[0])] - apex;
        const Vec3d b = object.m_vertices[static_cast<size_t>(triangle.v[1])] - apex;
        const Vec3d c = object.m_vertices[static_cast<size_t>(triangle.v[2])] - apex;
        const Vec3d bc = Cross(b, c);
        sum += a.x * bc.x + a.y * bc.y + a.z * bc.z;
    }
    return std::fabs(sum) / 6.0;
}
