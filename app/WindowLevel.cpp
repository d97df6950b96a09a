#include "WindowLevel.h"

#include "TextFormat.h"
#include "Viewer.h"

CWindowLevelValues CWindowLevel::CurrentValues() const {
    CWindowLevelValues values;
    const CTimeVolume& volume = m_viewer.Volume();
    values.window = volume.Window();
    values.loadDefault = volume.WindowIsLoadDefault();
    values.colourMap = m_viewer.View().m_colourMap;
    int count = 0;
    const CWindowPresetRow* rows = WindowPresetRows(count);
    for (int at = 0; at < count; ++at)
        if (const std::optional<CDisplayWindow> window = volume.PresetWindow(rows[at].preset))
            values.presets.push_back({rows[at].preset, *window});
    return values;
}

void CWindowLevel::Apply(const CWindowLevelValues& values) {
    const CViewerNotices::CBatch batch(m_viewer.Notices());
    if (values.loadDefault)
        m_viewer.SetWindow(std::nullopt);
    else
        m_viewer.SetWindow(values.window);
    m_viewer.SetColourMap(values.colourMap);
}

void CWindowLevel::OnDialog() {
    if (m_viewer.Volume().SizeX() == 0) return;
    CWindowLevelValues values = CurrentValues();
    if (m_viewer.Host().EditWindowLevel(values)) Apply(values);
}

bool CWindowLevel::ApplyPreset(EWindowPreset preset) {
    if (preset == EWindowPreset::kLoadDefault) return m_viewer.SetWindow(std::nullopt);
    const std::optional<CDisplayWindow> window = m_viewer.Volume().PresetWindow(preset);
    return window && m_viewer.SetWindow(*window);
}

std::string CWindowLevel::StatusText(const CViewer& viewer) {
    if (viewer.Volume().SizeX() == 0) return "";
    const CDisplayWindow window = viewer.Volume().Window();
    return FormatText("W %g L %g", window.width, window.center);
}
