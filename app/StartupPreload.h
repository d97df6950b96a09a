#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "TimeVolume.h"

// The volume named on the command line, loaded on a thread of its own while
// the window and its OpenGL view are made. On a big file the two take about
// as long as each other, so the window's first picture of the file comes
// that much sooner. The viewer takes the volume over when it opens the file
// (see CViewer::LoadVolumeFile); a preload it does not take is waited for and
// dropped.
class CStartupPreload {
public:
    CStartupPreload(std::string path, double saturation);
    ~CStartupPreload();
    CStartupPreload(const CStartupPreload&) = delete;
    CStartupPreload& operator=(const CStartupPreload&) = delete;

    // True when this is the load of `path` at `saturation` and has not been taken.
    bool IsFor(const std::string& path, double saturation) const;
    // Waits for the load, passing its progress on from the calling thread,
    // and swaps the loaded volume into `volume`: false when the file could
    // not be loaded (volume.LastError() says why).
    bool Finish(CTimeVolume& volume, const CTimeVolume::Progress& progress);

private:
    const std::string m_path;
    const double m_saturation;
    CTimeVolume m_volume;
    bool m_loaded = false;
    bool m_taken = false;
    std::atomic<double> m_fraction{0.0};
    std::atomic<bool> m_done{false};
    std::thread m_thread;  // last, so that it starts once everything it uses exists
};
