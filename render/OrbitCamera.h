#pragma once

#include <array>

// The camera that orbits the volume: azimuth and elevation round a target
// point at a distance, z up. Left drag turns it, right drag dollies it.
// Plain data with the rules that need no OpenGL, so they can be tested and
// reused by every drawing surface.
struct COrbitCamera {
    static constexpr double kPi = 3.14159265358979323846;
    // The mouse never quite reaches a pole: the view direction would then be
    // parallel to the up vector.
    static constexpr double kMaxDragElevation = 1.5707863267948965;

    enum MouseMode { kNoDrag = 0, kRotating = 1, kDollying = 2 };
    // The fixed views of the View menu: from above (x right, y up), from -y
    // (x right, z up), from +x (y right, z up), and the initial oblique view.
    enum CameraPreset { kShowXY, kShowXZ, kShowYZ, kShow3DRef };

    int m_mouseMode = kNoDrag;
    double m_azimuth = -3.0 * kPi / 4.0;
    double m_elevation = kPi / 4.0;
    double m_distance = 150.0;
    int m_lastMouseX = 0;
    int m_lastMouseY = 0;
    double m_nearPlane = 10.0;
    double m_farPlane = 2000.0;
    std::array<double, 3> m_target = {0.0, 0.0, 0.0};

    // Starts a drag in `mode` at client position (x, y).
    void BeginDrag(MouseMode mode, int x, int y);
    void EndDrag() { m_mouseMode = kNoDrag; }
    // Follows the cursor to (x, y) during a drag. Returns false, changing
    // nothing, when no drag is in progress (no repaint is needed then).
    bool DragTo(int x, int y, bool ctrl, bool shift);

    void SetCameraAngles(double azimuth, double elevation) {
        m_azimuth = azimuth;
        m_elevation = elevation;
    }

    // Turns the camera to a preset; the distance stays.
    void ApplyPreset(CameraPreset preset);

    // The arguments of the look-at transform: eye, centre and up vector.
    struct LookAt {
        std::array<double, 3> eye, centre, up;
    };
    LookAt ComputeLookAt() const;
};
