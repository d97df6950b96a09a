// The file commands: the open and save dialogs, and the Preferences. The
// work behind the save commands is CViewerExports'.

#include "CurvesExport.h"
#include "MeshSet.h"
#include "PreferencesDialog.h"
#include "Viewer.h"
#include "VolumeFormat.h"

namespace {

const CDialogService::FileRequest kPngRequest{"PNG files (*.png)", "png", ""};

CDialogService::FileRequest MeshFileRequest(const std::string& initialName) {
    return {MeshDialogFilter(), kMeshFileExtension + 1, initialName};
}

CDialogService::FileRequest NiftiFileRequest(const std::string& initialName) {
    return {"NIfTI images (" + ExtensionGlobs(EVolumeFormat::kNifti) + ")", "nii.gz", initialName};
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
    if (!path.empty()) LoadGeometryFile(path);
}

void CViewer::OnLoadLabels() {
    const std::string path = m_host.Dialogs().AskOpenFileName(
        {"Label images (" + ExtensionGlobs(EVolumeFormat::kNifti) + ")", "", ""});
    if (!path.empty()) LoadLabelFile(path);
}

void CViewer::OnSaveGeometry() {
    std::vector<CDialogService::SaveOption> options = {
        {"Every frame, one file each (NAME-<frame>)", m_exports.AllMeshFrames()},
        {"Patient coordinates (RAS millimetres, through the volume's geometry)", m_exports.MeshesInPatientSpace()}};
    const std::string path =
        m_host.Dialogs().AskSaveFileNameWithOptions(MeshFileRequest(m_exports.ProposedGeometryName()), options);
    if (path.empty()) return;
    m_exports.SetAllMeshFrames(options[0].checked);
    m_exports.SetMeshesInPatientSpace(options[1].checked);
    m_exports.ExportMeshes(path);
}

void CViewer::OnSaveVolumeNifti() {
    const std::string path = m_host.Dialogs().AskSaveFileName(NiftiFileRequest(m_exports.ProposedName(".nii.gz", -1)));
    if (!path.empty()) m_exports.SaveVolumeNifti(path);
}

void CViewer::OnSaveLabelsNifti() {
    const std::string path =
        m_host.Dialogs().AskSaveFileName(NiftiFileRequest(m_exports.ProposedName("_labels.nii.gz", -1)));
    if (!path.empty()) m_exports.SaveLabelsNifti(path);
}

void CViewer::OnSavePlane(int plane) {
    static const char* const kSuffixes[3] = {"_yz%03i.png", "_xz%03i.png", "_xy%03i.png"};
    const int index[3] = {m_state.m_x, m_state.m_y, m_state.m_z};
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = m_exports.ProposedName(kSuffixes[plane], index[plane]);
    const std::string path = m_host.Dialogs().AskSaveFileName(request);
    if (!path.empty()) m_exports.SavePlane(plane, path);
}

void CViewer::OnSaveSnapshot() {
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = m_exports.ProposedName(".png", -1);
    const std::string path = m_host.Dialogs().AskSaveFileName(request);
    if (!path.empty()) m_exports.SaveSnapshot(path);
}

void CViewer::OnSaveTimeSequence() {
    const std::string path =
        m_host.Dialogs().AskSaveFileName({"Movie files (*.avi)", "avi", m_exports.ProposedName(".avi", -1)});
    if (!path.empty()) m_exports.ExportMovie(path);
}

void CViewer::OnSaveCurvesCsv() {
    const std::string path = m_host.Dialogs().AskSaveFileName(
        {"Comma-separated values (*.csv)", "csv", m_exports.ProposedName("_curves.csv", -1)});
    if (!path.empty()) CCurvesExport::SaveCsv(*this, path);
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
    m_state.m_frameTimeMs = values.frameTimeMs;
    m_state.m_pixelSizeX = values.pixelSizeX;
    m_state.m_pixelSizeY = values.pixelSizeY;
    m_state.m_pixelSizeZ = values.pixelSizeZ;
    m_labels.FitToVolume();
    const double saturation = CPreferencesDialog::PercentToSaturation(values.saturationPercent);
    if (saturation != m_state.m_saturation) {
        m_state.m_saturation = saturation;
        // Only the display mapping is made anew: the file is not read again.
        // Movies, shown as they are, keep their grey levels.
        const CVolumeFileInfo& file = m_volume.FileInfo();
        if (file.m_format != EVolumeFormat::kNone && VolumeFormatRow(file.m_format).windowed)
            m_volume.SetSaturation(saturation);
    } else if (m_state.m_playing) {
        m_state.m_playing = false;
        if (m_host.StartTimer(TimerPeriodMs())) m_state.m_playing = true;
        return;
    }
    RefreshView();
}
