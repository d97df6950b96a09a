#include "MeshVolume.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The triangles' directed edges grouped by their first vertex: edge i of
// vertex a runs to m_to[m_start[a] + i]. Label surfaces have hundreds of
// thousands of triangles in every frame, so the edges are looked up by
// vertex, a handful each, rather than sorted as a whole.
struct EdgesByVertex {
    std::vector<int32_t> m_start;
    std::vector<int32_t> m_to;

    // False when a triangle names a vertex the mesh lacks or one vertex twice.
    bool Build(const CMeshObject& object) {
        const auto count = static_cast<int64_t>(object.m_vertices.size());
        m_start.assign(static_cast<size_t>(count) + 1, 0);
        for (const Triangle& triangle : object.m_triangles) {
            for (int corner = 0; corner < 3; ++corner) {
                const int64_t from = triangle.v[corner];
                const int64_t to = triangle.v[(corner + 1) % 3];
                if (from < 0 || to < 0 || from >= count || to >= count || from == to) return false;
                ++m_start[static_cast<size_t>(from) + 1];
            }
        }
        for (size_t a = 1; a < m_start.size(); ++a) m_start[a] += m_start[a - 1];
        m_to.resize(object.m_triangles.size() * 3);
        std::vector<int32_t> next(m_start.begin(), m_start.end() - 1);
        for (const Triangle& triangle : object.m_triangles)
            for (int corner = 0; corner < 3; ++corner)
                m_to[static_cast<size_t>(next[static_cast<size_t>(triangle.v[corner])]++)] =
                    triangle.v[(corner + 1) % 3];
        return true;
    }

    // How many edges run from a to b.
    int Count(int32_t a, int32_t b) const {
        int found = 0;
        for (int32_t i = m_start[static_cast<size_t>(a)]; i < m_start[static_cast<size_t>(a) + 1]; ++i)
            found += m_to[static_cast<size_t>(i)] == b ? 1 : 0;
        return found;
    }
};

}  // namespace

bool CMeshVolume::IsWatertight(const CMeshObject& object) {
    if (object.m_triangles.empty() || object.m_vertices.size() > INT32_MAX) return false;
    EdgesByVertex edges;
    if (!edges.Build(object)) return false;
    // In a closed, consistently oriented surface every directed edge occurs
    // once and its reverse once too.
    const auto vertices = static_cast<int32_t>(object.m_vertices.size());
    for (int32_t a = 0; a < vertices; ++a) {
        for (int32_t i = edges.m_start[static_cast<size_t>(a)]; i < edges.m_start[static_cast<size_t>(a) + 1];
             ++i) {
            const int32_t b = edges.m_to[static_cast<size_t>(i)];
            if (edges.Count(a, b) != 1 || edges.Count(b, a) != 1) return false;
        }
    }
    return true;
}

std::optional<double> CMeshVolume::Enclosed(const CMeshObject& object) {
    const bool closed = object.m_closedSurface && !object.m_triangles.empty();
    if (!closed && !IsWatertight(object)) return std::nullopt;
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
