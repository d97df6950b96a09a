#pragma once

#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "MeshObject.h"

// Closed meshes of known volume for the tests: a box and a sphere
// approximated by a subdivided icosahedron, both with outward-facing
// triangles and shared vertices.

inline CMeshObject BoxMesh(const std::string& name, const Vec3d& low, const Vec3d& high) {
    CMeshObject box(name);
    for (int i = 0; i < 8; ++i)
        box.m_vertices.push_back({i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z});
    box.m_triangles = {{{0, 2, 1}}, {{1, 2, 3}}, {{4, 5, 6}}, {{5, 7, 6}}, {{0, 1, 4}}, {{1, 5, 4}},
                       {{2, 6, 3}}, {{3, 6, 7}}, {{0, 4, 2}}, {{2, 4, 6}}, {{1, 3, 5}}, {{3, 7, 5}}};
    return box;
}

// The icosahedron inscribed in a sphere of `radius` about `centre`, each
// triangle split `levels` times into four with the new points pushed out
// onto the sphere.
inline CMeshObject IcosphereMesh(const std::string& name, int levels, double radius,
                                 const Vec3d& centre = {}) {
    const double g = (1.0 + std::sqrt(5.0)) / 2.0;
    CMeshObject sphere(name);
    sphere.m_vertices = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                         {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
    sphere.m_triangles = {{{0, 11, 5}}, {{0, 5, 1}},  {{0, 1, 7}},   {{0, 7, 10}}, {{0, 10, 11}},
                          {{1, 5, 9}},  {{5, 11, 4}}, {{11, 10, 2}}, {{10, 7, 6}}, {{7, 1, 8}},
                          {{3, 9, 4}},  {{3, 4, 2}},  {{3, 2, 6}},   {{3, 6, 8}},  {{3, 8, 9}},
                          {{4, 9, 5}},  {{2, 4, 11}}, {{6, 2, 10}},  {{8, 6, 7}},  {{9, 8, 1}}};
    for (Vec3d& v : sphere.m_vertices) v = Normalized(v);
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int, int>, int> middles;
        const auto middle = [&](int a, int b) {
            const std::pair<int, int> key(std::min(a, b), std::max(a, b));
            auto [at, added] = middles.emplace(key, static_cast<int>(sphere.m_vertices.size()));
            if (added) {
                sphere.m_vertices.push_back(Normalized(sphere.m_vertices[static_cast<size_t>(a)] +
                                                       sphere.m_vertices[static_cast<size_t>(b)]));
            }
            return at->second;
        };
        std::vector<Triangle> finer;
        for (const Triangle& t : sphere.m_triangles) {
            const int ab = middle(t.v[0], t.v[1]), bc = middle(t.v[1], t.v[2]), ca = middle(t.v[2], t.v[0]);
            finer.push_back({{t.v[0], ab, ca}});
            finer.push_back({{t.v[1], bc, ab}});
            finer.push_back({{t.v[2], ca, bc}});
            finer.push_back({{ab, bc, ca}});
        }
        sphere.m_triangles = std::move(finer);
    }
    for (Vec3d& v : sphere.m_vertices) v = centre + v * radius;
    return sphere;
}
