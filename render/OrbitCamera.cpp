#include "OrbitCamera.h"

#include <algorithm>
#include <cmath>

void COrbitCamera::BeginDrag(MouseMode mode, int x, int y) {
    m_mouseMode = mode;
    m_lastMouseX = x;
    m_lastMouseY = y;
}

bool COrbitCamera::DragTo(int x, int y, bool ctrl, bool shift) {
    if (m_mouseMode == kNoDrag) return false;
    const int dx = x - m_lastMouseX;
    const int dy = y - m_lastMouseY;
    double rotation = ctrl ? 2.0 : 1.0;
    double dolly = ctrl ? 4.0 : 2.0;
    if (shift) {
        rotation *= 0.5;
        dolly *= 0.5;
    }
    if (m_mouseMode == kRotating) {
        m_azimuth -= rotation * dx / 150.0;
        m_elevation += rotation * dy / 150.0;
        // Exactly +-pi/2 (a preset) passes; only a drag beyond it is held back.
        if (m_elevation > kPi / 2.0) m_elevation = kMaxDragElevation;
        if (m_elevation < -kPi / 2.0) m_elevation = -kMaxDragElevation;
    } else {
        m_distance += dy * dolly * 0.5;
        m_distance = std::clamp(m_distance, 3.0 * m_nearPlane, 0.8 * m_farPlane);
    }
    m_lastMouseX = x;
    m_lastMouseY = y;
    return true;
}

void COrbitCamera::ApplyPreset(CameraPreset preset) {
    switch (preset) {
        case kShowXY: SetCameraAngles(-kPi / 2.0, kPi / 2.0); break;
        case kShowXZ: SetCameraAngles(-kPi / 2.0, 0.0); break;
        case kShowYZ: SetCameraAngles(0.0, 0.0); break;
        case kShow3DRef: SetCameraAngles(-3.0 * kPi / 4.0, kPi / 4.0); break;
    }
}

COrbitCamera::LookAt COrbitCamera::ComputeLookAt() const {
    LookAt look;
    look.centre = m_target;
    const double cosElevation = std::cos(m_elevation);
    const double sinElevation = std::sin(m_elevation);
    const double horizontal = m_distance * cosElevation;
    look.eye = {m_target[0] + horizontal * std::cos(m_azimuth), m_target[1] + horizontal * std::sin(m_azimuth),
                m_target[2] + m_distance * sinElevation};
    look.up = {0.0, 0.0, 1.0};
    // At a pole the view direction is parallel to z, so z cannot be the up
    // vector. Take the limit of the orbit instead: the screen's up is the
    // horizontal direction the camera faced just before the pole, which
    // makes the top view show x to the right and y up.
    if (std::fabs(cosElevation) < 1e-12) {
        const double towards = sinElevation > 0 ? -1.0 : 1.0;
        look.eye = {m_target[0], m_target[1], m_target[2] + m_distance * (sinElevation > 0 ? 1.0 : -1.0)};
        look.up = {towards * std::cos(m_azimuth), towards * std::sin(m_azimuth), 0.0};
    }
    return look;
}
