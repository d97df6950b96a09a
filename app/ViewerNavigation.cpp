// Moving through the 4-D data: voxel steps, the wheel, the slice drag,
// frame steps, playback and the frame lock.

#include <cmath>

#include "Viewer.h"

void CViewer::StepVoxel(int& value, int delta, int size) {
    // Each direction has its own bound: a step up stops at the size, a step
    // down at 0. A position outside the volume (meshes may place it there)
    // thus walks back in. Worked out wide, as the position may be any int.
    const long long stepped = static_cast<long long>(value) + delta;
    const bool refused = size == 0 || (delta > 0 ? stepped >= size : stepped < 0);
    if (!refused) value = static_cast<int>(stepped);
    RefreshView();
}

void CViewer::OnIncreaseX() { StepVoxel(m_state.m_x, 1, m_volume.SizeX()); }
void CViewer::OnDecreaseX() { StepVoxel(m_state.m_x, -1, m_volume.SizeX()); }
void CViewer::OnIncreaseY() { StepVoxel(m_state.m_y, 1, m_volume.SizeY()); }
void CViewer::OnDecreaseY() { StepVoxel(m_state.m_y, -1, m_volume.SizeY()); }
void CViewer::OnIncreaseZ() { StepVoxel(m_state.m_z, 1, m_volume.SizeZ()); }
void CViewer::OnDecreaseZ() { StepVoxel(m_state.m_z, -1, m_volume.SizeZ()); }

void CViewer::OnMouseWheel(int delta) {
    // One step per wheel message; turning the wheel towards the user goes up.
    if (delta < 0)
        OnIncreaseZ();
    else
        OnDecreaseZ();
}

void CViewer::OnNextFrame() {
    m_state.m_t = m_state.m_t < LastFrameIndex() ? m_state.m_t + 1 : 0;
    RefreshView();
}

void CViewer::OnPreviousFrame() {
    m_state.m_t = m_state.m_t > 0 ? m_state.m_t - 1 : LastFrameIndex();
    RefreshView();
}

void CViewer::OnFirstFrame() {
    m_state.m_t = 0;
    RefreshView();
}

void CViewer::OnMiddleFrame() {
    m_state.m_t = LastFrameIndex() / 2;
    RefreshView();
}

void CViewer::OnLastFrame() {
    m_state.m_t = LastFrameIndex();
    RefreshView();
}

void CViewer::OnPlayStop() {
    if (m_state.m_playing) {
        m_host.StopTimer();
        m_state.m_playing = false;
    } else if (m_host.StartTimer(TimerPeriodMs())) {
        m_state.m_playing = true;
    }
}

void CViewer::OnPingPong() {
    if (m_state.m_pingPongUp || m_state.m_pingPongDown) {
        m_state.m_pingPongUp = m_state.m_pingPongDown = false;
    } else {
        m_state.m_pingPongUp = true;
    }
}

void CViewer::OnLockFrame() { m_state.m_lockedFrame = m_state.m_lockedFrame == -1 ? m_state.m_t : -1; }

void CViewer::OnTimer() {
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
    RefreshView();
}

void CViewer::ArmSliceDrag(int mode) {
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

void CViewer::OnSliceDragX() { ArmSliceDrag(1); }
void CViewer::OnSliceDragY() { ArmSliceDrag(2); }

void CViewer::OnMouseMove(int x, int y, bool ctrl, bool shift) {
    UpdateTitle();
    if (m_state.m_sliceDragMode == 0) return;
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
    RefreshView();
}

void CViewer::OnLeftButtonDown(int x, int y) {
    m_state.m_dragLastX = x;
    m_state.m_dragLastY = y;
}

void CViewer::OnLeftButtonUp() {
    m_state.m_sliceDragMode = 0;
    m_host.CaptureMouse(false);
}
