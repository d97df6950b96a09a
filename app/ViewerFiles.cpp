// The commands that ask first: the open dialogs and the Preferences.

#include "MeshSet.h"
#include "PreferencesDialog.h"
#include "Viewer.h"
#include "VolumeFormat.h"

namespace {

CDialogService::FileRequest MeshFileRequest(const std::string& initialName) {
    return {MeshDialogFilter(), kMeshFileExtension + 1, initialName};
}

}  // namespace

void CViewer::OnOpenVolume() {
    const std::string path = m_host.Dialogs().AskOpenFileName({VolumeDialogFilter(), "", ""});
    if (!path.empty()) LoadVolumeFile(path);
}

void CViewer::OnOpenDicomFolder() {
    const std::string folder = m_host.Dialogs().AskFolderName("Open DICOM Folder");
    if (!folder.empty()) LoadVolume(folder);
}

void CViewer::OnLoadGeometry() {
    const std::string path = m_host.Dialogs().AskOpenFileName(MeshFileRequest(""));
    if (path.empty()) return;
    LoadGeometryFile(path);
    if (m_state.m_geometryPath == path) m_host.NoteRecentFile(path);
}

void CViewer::OnLoadLabels() {
    const std::string path = m_host.Dialogs().AskOpenFileName(
        {"Label images (" + ExtensionGlobs(EVolumeFormat::kNifti) + ")", "", ""});
    if (!path.empty()) LoadLabelFile(path);
}

CPreferenceValues CViewer::CurrentPreferences() const {
    return {m_state.m_frameTimeMs, m_state.m_pixelSizeX, m_state.m_pixelSizeY, m_state.m_pixelSizeZ,
            CPreferencesDialog::SaturationToPercent(m_state.m_saturation)};
}

void CViewer::OnPreferences() {
    CPreferenceValues values = CurrentPreferences();
    if (!m_host.EditPreferences(values)) return;
    ApplyPreferences(values);
}

void CViewer::ApplyPreferences(const CPreferenceValues& values) {
    const CViewerNotices::CBatch batch(m_notices);
    m_state.m_frameTimeMs = values.frameTimeMs;
    m_state.m_pixelSizeX = values.pixelSizeX;
    m_state.m_pixelSizeY = values.pixelSizeY;
    m_state.m_pixelSizeZ = values.pixelSizeZ;
    m_labels.FitToVolume();
    // The label surfaces may be made anew at the new voxel size.
    m_notices.Announce(kChangeCalibration | kChangeLabels | kChangeMeshes);
    const double saturation = CPreferencesDialog::PercentToSaturation(values.saturationPercent);
    if (saturation != m_state.m_saturation) {
        m_state.m_saturation = saturation;
        // Only the display mapping is made anew: the file is not read again.
        // Movies, shown as they are, keep their grey levels.
        const CVolumeFileInfo& file = m_volume.FileInfo();
        if (file.m_format != EVolumeFormat::kNone && VolumeFormatRow(file.m_format).windowed)
            m_volume.SetSaturation(saturation);
        m_notices.Announce(kChangeDisplay);
    } else if (m_state.m_playing) {
        m_state.m_playing = false;
        if (m_host.StartTimer(m_navigation.TimerPeriodMs())) m_state.m_playing = true;
    }
}
