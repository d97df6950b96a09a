#pragma once

#include <array>
#include <cstdint>
#include <optional>

struct COrbitCamera;
struct CSceneState;

// Geometry of the slice scene that needs no OpenGL, shared by the renderer
// and its tests.

// The pixel-transfer scale and bias that carry brightness and contrast
// (0..1 each, 0.5 neutral) into texture uploads.
struct PixelTransferValues {
    double scale;
    double bias;
};
PixelTransferValues BrightnessContrastTransfer(double brightness, double contrast);
// What a luminance upload under `transfer` turns each grey level into, worked
// out as the driver does it: in single precision, clamped to 0..1 and rounded
// to the nearest level. Coloured planes go through it before their colour map.
std::array<uint8_t, 256> TransferGreyLevels(const PixelTransferValues& transfer);

// Where the local point (u, v) of plane `plane`'s quad lands in the unit box
// when the plane lies at fraction `position` along its normal. The YZ plane
// (0) lies at the mirrored x (see CVolumeGrid::SceneOfPlaneFraction).
std::array<double, 3> PlaneLocalToBox(int plane, double position, double u, double v);

// The two clip-plane equations (a, b, c, d), keeping a*x + b*y + c*z + d >= 0,
// that together keep the slab of half-width kClipSlabHalfWidth millimetres
// round plane `plane` of a box of `extent` millimetres at `slicePos`.
constexpr double kClipSlabHalfWidth = 0.005;
std::array<std::array<double, 4>, 2> ClipSlab(int plane, const double extent[3], const double slicePos[3]);

// The scene millimetre along x, y and z at which `state`'s three planes lie.
std::array<double, 3> ScenePlanePlaces(const CSceneState& state);

// The vertical field of view of the scene's perspective, in degrees.
constexpr double kFieldOfViewDegrees = 30.0;

// What a ray through window pixel (x, y) (from the top left, in the units of
// width x height) meets first of the planes `state` shows: the plane and the
// point in millimetres. Nothing when it meets none.
struct CPlaneHit {
    int plane;
    std::array<double, 3> point;
};
std::optional<CPlaneHit> PickPlane(const COrbitCamera& camera, const CSceneState& state, int width, int height,
                                   double x, double y);
// The window pixel (x, y from the top left, in the units of width x height)
// where scene point `point` shows; nothing for a point behind the eye. The
// inverse of PickPlane's ray.
std::optional<std::array<double, 2>> ProjectToWindow(const COrbitCamera& camera, int width, int height,
                                                     const std::array<double, 3>& point);
