#include "SceneGeometry.h"

#include <algorithm>
#include <cmath>

#include "OrbitCamera.h"
#include "SceneState.h"
#include "VolumeGrid.h"

PixelTransferValues BrightnessContrastTransfer(double brightness, double contrast) {
    if (brightness == 0.5 && contrast == 0.5) return {1.0, 0.0};
    const double scale = std::tan(contrast * 1.5707963267948966);
    const double bias = (1.0 - scale) / 2.0 + (2.0 * brightness - 1.0) * ((1.0 - scale) / 2.0 + 1.0);
    return {scale, bias};
}

std::array<uint8_t, 256> TransferGreyLevels(const PixelTransferValues& transfer) {
    const auto scale = static_cast<float>(transfer.scale);
    const auto bias = static_cast<float>(transfer.bias);
    std::array<uint8_t, 256> levels{};
    for (int g = 0; g < 256; ++g) {
        const float value = static_cast<float>(g) / 255.0f * scale + bias;
        // Written so that a value that is not a number ends at 0 too.
        const float clamped = value > 0.0f ? std::min(value, 1.0f) : 0.0f;
        levels[static_cast<size_t>(g)] = static_cast<uint8_t>(std::lrint(clamped * 255.0f));
    }
    return levels;
}

std::array<double, 3> PlaneLocalToBox(int plane, double position, double u, double v) {
    // The box is the unit one. The upright quads stand on their top edge
    // (v = 0 at z = 1); their textures are drawn with the first image row at
    // v = 1, so the two turns cancel and slices climb with z.
    const double at = CVolumeGrid::SceneOfPlaneFraction(plane, position, 1.0);
    switch (plane) {
        case 0: return {at, u, 1.0 - v};
        case 1: return {u, at, 1.0 - v};
        default: return {u, v, at};
    }
}

std::array<std::array<double, 4>, 2> ClipSlab(int plane, const double extent[3], const double slicePos[3]) {
    const double h = kClipSlabHalfWidth;
    const double at = CVolumeGrid::SceneOfPlaneFraction(plane, slicePos[plane], extent[plane]);
    switch (plane) {
        case 0: return {{{1, 0, 0, h - at}, {-1, 0, 0, at + h}}};
        case 1: return {{{0, 1, 0, h - at}, {0, -1, 0, at + h}}};
        default: return {{{0, 0, -1, at + h}, {0, 0, 1, h - at}}};
    }
}

std::array<double, 3> ScenePlanePlaces(const CSceneState& state) {
    std::array<double, 3> at{};
    for (int axis = 0; axis < 3; ++axis)
        at[static_cast<size_t>(axis)] =
            CVolumeGrid::SceneOfPlaneFraction(axis, state.m_slicePos[axis], state.m_extent[axis]);
    return at;
}

namespace {

using Vector = std::array<double, 3>;

Vector Minus(const Vector& a, const Vector& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vector Cross(const Vector& a, const Vector& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vector Unit(const Vector& a) {
    const double length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    return length > 0 ? Vector{a[0] / length, a[1] / length, a[2] / length} : a;
}

// The eye and its frame: where it looks, its right and its up.
struct CEyeFrame {
    Vector eye, forward, side, up;
    double tanHalf;
};

CEyeFrame EyeFrame(const COrbitCamera& camera) {
    const COrbitCamera::LookAt look = camera.ComputeLookAt();
    CEyeFrame frame;
    frame.eye = look.eye;
    frame.forward = Unit(Minus(look.centre, look.eye));
    frame.side = Unit(Cross(frame.forward, look.up));
    frame.up = Cross(frame.side, frame.forward);
    frame.tanHalf = std::tan(kFieldOfViewDegrees / 2.0 * COrbitCamera::kPi / 180.0);
    return frame;
}

double Dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

std::optional<std::array<double, 2>> ProjectToWindow(const COrbitCamera& camera, int width, int height,
                                                     const std::array<double, 3>& point) {
    if (width <= 0 || height <= 0) return std::nullopt;
    const CEyeFrame frame = EyeFrame(camera);
    const Vector towards = Minus(point, frame.eye);
    const double depth = Dot(towards, frame.forward);
    if (!(depth > 0)) return std::nullopt;
    const double across = Dot(towards, frame.side) / depth / (frame.tanHalf * width / height);
    const double upwards = Dot(towards, frame.up) / depth / frame.tanHalf;
    return std::array<double, 2>{(across + 1.0) * width / 2.0, (1.0 - upwards) * height / 2.0};
}

std::optional<CPlaneHit> PickPlane(const COrbitCamera& camera, const CSceneState& state, int width, int height,
                                   double x, double y) {
    if (width <= 0 || height <= 0) return std::nullopt;
    // The ray, as the look-at and perspective transforms place the pixel.
    const CEyeFrame eye = EyeFrame(camera);
    const COrbitCamera::LookAt look{eye.eye, {}, {}};
    const Vector& forward = eye.forward;
    const Vector& side = eye.side;
    const Vector& up = eye.up;
    const double tanHalf = eye.tanHalf;
    const double across = (2.0 * x / width - 1.0) * tanHalf * width / height;
    const double upwards = (1.0 - 2.0 * y / height) * tanHalf;
    Vector direction{};
    for (int i = 0; i < 3; ++i) direction[i] = forward[i] + across * side[i] + upwards * up[i];

    const double* extent = state.m_extent;
    const std::array<double, 3> at = ScenePlanePlaces(state);
    std::optional<CPlaneHit> nearest;
    double nearestDistance = 0.0;
    for (int plane = 0; plane < 3; ++plane) {
        if (!state.m_showPlane[plane] || direction[plane] == 0.0) continue;
        const double distance = (at[plane] - look.eye[plane]) / direction[plane];
        if (!(distance > 0) || (nearest && distance >= nearestDistance)) continue;
        Vector point{};
        bool inside = true;
        for (int axis = 0; axis < 3; ++axis) {
            point[axis] = axis == plane ? at[plane] : look.eye[axis] + distance * direction[axis];
            inside = inside && point[axis] >= 0.0 && point[axis] <= extent[axis];
        }
        if (!inside) continue;
        nearest = CPlaneHit{plane, point};
        nearestDistance = distance;
    }
    return nearest;
}
