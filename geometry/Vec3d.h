#pragma once

#include <cmath>

// A point or direction in the scene, in millimetres.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    Vec3d& operator+=(const Vec3d& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    friend Vec3d operator+(Vec3d a, const Vec3d& b) { return a += b; }
    friend Vec3d operator-(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend Vec3d operator*(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
    friend Vec3d operator/(const Vec3d& a, double s) { return {a.x / s, a.y / s, a.z / s}; }
    friend bool operator==(const Vec3d&, const Vec3d&) = default;

    double SquaredLength() const { return x * x + y * y + z * z; }
    double Length() const { return std::sqrt(SquaredLength()); }
};

inline Vec3d Cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The unit vector along v; the zero vector stays zero, since it has no
// direction to keep (and dividing would give NaN).
inline Vec3d Normalized(const Vec3d& v) {
    const double length = v.Length();
    return length > 0.0 ? v / length : Vec3d{};
}
