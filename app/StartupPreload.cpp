#include "StartupPreload.h"

#include <algorithm>
#include <chrono>

CStartupPreload::CStartupPreload(std::string path, double saturation)
    : m_path(std::move(path)), m_saturation(saturation), m_thread([this] {
          m_loaded = m_volume.LoadFile(m_path, m_saturation,
                                       [this](double fraction) { m_fraction.store(fraction, std::memory_order_relaxed); });
          m_done.store(true, std::memory_order_release);
      }) {}

CStartupPreload::~CStartupPreload() {
    if (m_thread.joinable()) m_thread.join();
}

bool CStartupPreload::IsFor(const std::string& path, double saturation) const {
    return !m_taken && path == m_path && saturation == m_saturation;
}

bool CStartupPreload::Finish(CTimeVolume& volume, const CTimeVolume::Progress& progress) {
    while (!m_done.load(std::memory_order_acquire)) {
        // 0 would restart the caller's progress clock.
        if (progress) progress(std::max(m_fraction.load(std::memory_order_relaxed), 1e-6));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_thread.join();
    m_thread = std::thread();
    m_taken = true;
    volume.Swap(m_volume);
    return m_loaded;
}
