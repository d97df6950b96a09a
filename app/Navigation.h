#pragma once

#include <algorithm>

#include "MeshSet.h"
#include "TimeVolume.h"
#include "ViewerHost.h"
#include "ViewerNotices.h"
#include "ViewerState.h"

// Moving through the 4-D data: the position's voxel steps, the wheel and
// the slice drag, frame steps, playback and the frame lock. It changes the
// viewer's position and frame and announces what it changed; the viewer and
// its panels follow the notices.
class CNavigation {
public:
    CNavigation(CViewerState& state, const CTimeVolume& volume, const CMeshSet& meshes, CViewerHost& host,
                CViewerNotices& notices);

    // The larger of the volume's last frame and the meshes' last frame number.
    int LastFrameIndex() const;
    // The volume frame shown: the locked one, else t held to the volume's frames.
    int DisplayFrame() const;
    // The playback timer's period: the frame time, but at least 1 ms. A file
    // may carry a frame time below 1 ms or below 0, and a timer of 0 ms
    // would spin while a negative one never starts.
    int TimerPeriodMs() const { return std::max(m_state.m_frameTimeMs, 1); }

    void SetPosition(int x, int y, int z);
    void SetFrame(int t);
    void SetLockedFrame(int frame);
    // Stops the playback timer for a while (an export) without ending
    // playback, and starts it again; playback ends when it cannot.
    void PausePlayback();
    void ResumePlayback();

    void OnIncreaseX() { StepVoxel(m_state.m_x, 1, m_volume.SizeX()); }
    void OnDecreaseX() { StepVoxel(m_state.m_x, -1, m_volume.SizeX()); }
    void OnIncreaseY() { StepVoxel(m_state.m_y, 1, m_volume.SizeY()); }
    void OnDecreaseY() { StepVoxel(m_state.m_y, -1, m_volume.SizeY()); }
    void OnIncreaseZ() { StepVoxel(m_state.m_z, 1, m_volume.SizeZ()); }
    void OnDecreaseZ() { StepVoxel(m_state.m_z, -1, m_volume.SizeZ()); }
    void OnMouseWheel(int delta);
    void OnNextFrame();
    void OnPreviousFrame();
    void OnFirstFrame() { SetFrame(0); }
    void OnMiddleFrame() { SetFrame(LastFrameIndex() / 2); }
    void OnLastFrame() { SetFrame(LastFrameIndex()); }
    void OnPlayStop();
    void OnPingPong();
    void OnLockFrame();
    void OnTimer();
    // Arm the slice drag of x or y, or end the one in progress.
    void OnSliceDragX() { ArmSliceDrag(1); }
    void OnSliceDragY() { ArmSliceDrag(2); }
    void OnMouseMove(int x, int y, bool ctrl, bool shift);
    void OnLeftButtonDown(int x, int y);
    void OnLeftButtonUp();

private:
    void StepVoxel(int& value, int delta, int size);
    // Arms a slice drag in `mode` (1 x, 2 y), or ends the one in progress.
    void ArmSliceDrag(int mode);

    CViewerState& m_state;
    const CTimeVolume& m_volume;
    const CMeshSet& m_meshes;
    CViewerHost& m_host;
    CViewerNotices& m_notices;
};
