#include "MeshObject.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "ObjText.h"

int CMeshObject::FrameNumber() const {
    const size_t dash = m_name.rfind('-');
    if (dash == std::string::npos) return -1;
    return LeadingInt(m_name.c_str() + dash + 1);
}

std::string CMeshObject::BaseName() const {
    return m_name.substr(0, m_name.rfind('-'));
}

Vec3d CMeshObject::Centroid() const {
    Vec3d sum;
    for (const Vec3d& v : m_vertices) sum += v;
    return m_vertices.empty() ? sum : sum / static_cast<double>(m_vertices.size());
}

void CMeshObject::Translate(const Vec3d& offset) {
    for (Vec3d& v : m_vertices) v += offset;
}

double CMeshObject::CentroidSize() const {
    double sum = 0.0;
    for (const Vec3d& v : m_vertices) sum += v.SquaredLength();
    return std::sqrt(sum);
}

void CMeshObject::ComputeNormals() {
    m_normals.assign(m_vertices.size(), Vec3d{});
    const size_t count = m_vertices.size();
    for (const Triangle& t : m_triangles) {
        // The reader keeps only triangles inside the vertex list; objects
        // assembled elsewhere get the same protection here.
        const size_t i0 = static_cast<uint32_t>(t.v[0]);
        const size_t i1 = static_cast<uint32_t>(t.v[1]);
        const size_t i2 = static_cast<uint32_t>(t.v[2]);
        if (i0 >= count || i1 >= count || i2 >= count) continue;
        const Vec3d n = Normalized(Cross(m_vertices[i1] - m_vertices[i0], m_vertices[i2] - m_vertices[i0]));
        m_normals[i0] += n;
        m_normals[i1] += n;
        m_normals[i2] += n;
    }
    for (Vec3d& n : m_normals) n = Normalized(n);
}

void CMeshObject::ZCap() {
    const int n = static_cast<int>(std::min<size_t>(m_vertices.size(), INT32_MAX));
    if (n < kNodesPerSlice) {
        std::printf("***** Z-capping: '%s' has %i nodes, fewer than one slice of %i; not capped *****\n",
                    m_name.c_str(), n, kNodesPerSlice);
        return;
    }
    std::printf("***** Z-capping: assuming %i nodes per slice! *****\n", kNodesPerSlice);
    m_triangles.reserve(m_triangles.size() + 2 * (kNodesPerSlice - 2));
    m_closedSurface = false;
    // Bottom fan round vertex 0 over the first contour, top fan round the
    // last vertex over the last contour; both visit their ring in decreasing
    // index order after the centre.
    for (int i = 2; i < kNodesPerSlice; ++i) m_triangles.push_back({{i, i - 1, 0}});
    for (int i = 2; i < kNodesPerSlice; ++i) m_triangles.push_back({{n - 1, n - i, n - i - 1}});
}
