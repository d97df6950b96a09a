// Moving through the 4-D data: voxel steps, the wheel, the slice drag,
// frame steps, playback and the frame lock.

#include "Navigation.h"

#include <cmath>

CNavigation::CNavigation(CViewerState& state, const CTimeVolume& volume, const CMeshSet& meshes,
                         CViewerHost& host, CViewerNotices& notices)
    : m_state(state), m_volume(volume), m_meshes(meshes), m_host(host), m_notices(notices) {}

int CNavigation::LastFrameIndex() const { return std::max(m_volume.Frames() - 1, m_meshes.LastFrame()); }

int CNavigation::DisplayFrame() const {
    if (m_state.m_lockedFrame != -1) return m_state.m_lockedFrame;
    return std::min(m_state.m_t, m_volume.Frames() - 1);
}

void CNavigation::SetPosition(int x, int y, int z) {
    m_state.m_x = x;
    m_state.m_y = y;
    m_state.m_z = z;
    m_notices.Announce(kChangePosition);
}

void CNavigation::SetFrame(int t) {
    m_state.m_t = t;
    m_notices.Announce(kChangeFrame);
}

void CNavigation::SetLockedFrame(int frame) {
    m_state.m_lockedFrame = frame;
    m_notices.Announce(kChangeFrame);
}

void CNavigation::PausePlayback() {
    if (m_state.m_playing) m_host.StopTimer();
}

void CNavigation::ResumePlayback() {
    if (m_state.m_playing && !m_host.StartTimer(TimerPeriodMs())) m_state.m_playing = false;
}

void CNavigation::StepVoxel(int& value, int delta, int size) {
    // Each direction has its own bound: a step up stops at the size, a step
    // down at 0. A position outside the volume (meshes may place it there)
    // thus walks back in. Worked out wide, as the position may be any int.
    const long long stepped = static_cast<long long>(value) + delta;
    const bool refused = size == 0 || (delta > 0 ? stepped >= size : stepped < 0);
    if (!refused) value = static_cast<int>(stepped);
    m_notices.Announce(kChangePosition);
}

void CNavigation::OnMouseWheel(int delta) {
    // One step per wheel message; turning the wheel towards the user goes up.
    if (delta < 0)
        OnIncreaseZ();
    else
        OnDecreaseZ();
}

void CNavigation::OnNextFrame() { SetFrame(m_state.m_t < LastFrameIndex() ? m_state.m_t + 1 : 0); }

void CNavigation::OnPreviousFrame() { SetFrame(m_state.m_t > 0 ? m_state.m_t - 1 : LastFrameIndex()); }

void CNavigation::OnPlayStop() {
    if (m_state.m_playing) {
        m_host.StopTimer();
        m_state.m_playing = false;
    } else if (m_host.StartTimer(TimerPeriodMs())) {
        m_state.m_playing = true;
    }
}

void CNavigation::OnPingPong() {
    if (m_state.m_pingPongUp || m_state.m_pingPongDown) {
        m_state.m_pingPongUp = m_state.m_pingPongDown = false;
    } else {
        m_state.m_pingPongUp = true;
    }
}

void CNavigation::OnLockFrame() { m_state.m_lockedFrame = m_state.m_lockedFrame == -1 ? m_state.m_t : -1; }

void CNavigation::OnTimer() {
    const int last = LastFrameIndex();
    if (!m_state.m_pingPongUp && !m_state.m_pingPongDown) {
        m_state.m_t = m_state.m_t < last ? m_state.m_t + 1 : 0;
    } else if (m_state.m_pingPongUp) {
        if (m_state.m_t < last) {
            ++m_state.m_t;
        } else {
            --m_state.m_t;
            m_state.m_pingPongUp = false;
            m_state.m_pingPongDown = true;
        }
    } else {
        if (m_state.m_t > 0) {
            --m_state.m_t;
        } else {
            ++m_state.m_t;
            m_state.m_pingPongDown = false;
            m_state.m_pingPongUp = true;
        }
    }
    m_notices.Announce(kChangeFrame);
}

void CNavigation::ArmSliceDrag(int mode) {
    // Either arrow ends any drag in progress rather than switching it.
    if (m_state.m_sliceDragMode != 0) {
        m_host.CaptureMouse(false);
        m_state.m_sliceDragMode = 0;
        return;
    }
    m_host.CaptureMouse(true);
    m_state.m_sliceDragMode = mode;
    m_state.m_dragLastX = -1;
}

void CNavigation::OnMouseMove(int x, int y, bool ctrl, bool shift) {
    // Without a drag the mouse may still have turned the camera, which the
    // title shows.
    if (m_state.m_sliceDragMode == 0) {
        m_notices.Announce(kChangeCamera);
        return;
    }
    if (m_state.m_dragLastX == -1) {
        m_state.m_dragLastX = x;
        m_state.m_dragLastY = y;
    }
    const int dx = x - m_state.m_dragLastX;
    const int dy = y - m_state.m_dragLastY;
    double factor = ctrl ? 1.0 : 0.5;
    if (shift) factor *= 0.5;
    if (m_state.m_sliceDragMode == 1) {
        m_state.m_x = static_cast<int>(std::trunc(m_state.m_x - factor * dx));
        if (dx > 0 && m_state.m_x < 0) m_state.m_x = 0;
        if (dx <= 0 && m_state.m_x >= m_volume.SizeX()) m_state.m_x = m_volume.SizeX() - 1;
    } else {
        m_state.m_y = static_cast<int>(std::trunc(m_state.m_y - factor * dy));
        if (dy >= 0 && m_state.m_y < 0) m_state.m_y = 0;
        if (dy < 0 && m_state.m_y >= m_volume.SizeY()) m_state.m_y = m_volume.SizeY() - 1;
    }
    m_state.m_dragLastX = x;
    m_state.m_dragLastY = y;
    m_notices.Announce(kChangePosition);
}

void CNavigation::OnLeftButtonDown(int x, int y) {
    m_state.m_dragLastX = x;
    m_state.m_dragLastY = y;
}

void CNavigation::OnLeftButtonUp() {
    m_state.m_sliceDragMode = 0;
    m_host.CaptureMouse(false);
}
