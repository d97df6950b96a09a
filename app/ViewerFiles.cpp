// The file commands: opening files through dialogs, saving the view and the
// planes as PNG pictures, exporting the time sequence as a movie, and the
// Preferences.

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "AboutDlg.h"
#include "MeshSet.h"
#include "PathUtils.h"
#include "PngExport.h"
#include "PreferencesDialog.h"
#include "RawPicture.h"
#include "TextFormat.h"
#include "VekMovie.h"
#include "Viewer.h"
#include "VisError.h"
#include "VisImage.h"
#include "VolumeFormat.h"

namespace {

const CDialogService::FileRequest kPngRequest{"PNG files (*.png)", "png", ""};

// A picture that borrows `pixels` (rows bottom first, as read back) and is
// turned upright in place.
RawPicture UprightPicture(uint32_t width, uint32_t height, std::vector<uint8_t>& pixels) {
    RawPicture picture;
    RPclear(picture);
    picture.m_width = width;
    picture.m_height = height;
    picture.m_bitsPerPixel = 32;
    picture.m_pixels = pixels.data();
    VFlip(picture);
    return picture;
}

// A file beside `target` to write into, so that the target is replaced only
// by a finished file.
std::string TemporaryPathBeside(const std::string& target) {
    return target + ".part-" + std::to_string(getpid());
}

}  // namespace

void CViewer::OnOpenTvi() {
    const std::string path = m_host.Dialogs().AskOpenFileName({VolumeDialogFilter(), "", ""});
    if (!path.empty()) LoadTviFile(path);
}

void CViewer::OnOpenDicomFolder() {
    const std::string folder = m_host.Dialogs().AskFolderName("Open DICOM Folder");
    if (!folder.empty()) LoadVolume(folder);
}

void CViewer::OnLoadGeometry() {
    const std::string path = m_host.Dialogs().AskOpenFileName(
        {std::string("OBJ files (*") + kMeshFileExtension + ")", kMeshFileExtension + 1, ""});
    if (!path.empty()) LoadGeometryFile(path);
}

std::string CViewer::ProposedName(const char* suffix, int index) const {
    return PathWithoutVolumeExtension(m_volume.m_fileInfo.m_path) + FormatText(suffix, index);
}

void CViewer::OnSavePlane(int plane) {
    static const char* const kSuffixes[3] = {"_yz%03i.png", "_xz%03i.png", "_xy%03i.png"};
    const int index[3] = {m_x, m_y, m_z};
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = ProposedName(kSuffixes[plane], index[plane]);
    const std::string path = m_host.Dialogs().AskSaveFileName(request);
    if (!path.empty()) SavePlane(plane, path);
}

bool CViewer::SavePlane(int plane, const std::string& path) {
    const int index[3] = {m_x, m_y, m_z};
    CSliceImage slice = m_volume.GetSlice(plane, index[plane], m_t, false);
    if (slice.m_width == 0) {
        m_host.Dialogs().ShowMessage(
            "Error",
            FormatText("There is no %s plane to save at position %i of frame %i: it lies outside the volume.",
                       plane == 0 ? "YZ" : plane == 1 ? "XZ" : "XY", index[plane], m_t),
            CDialogService::Icon::kError);
        return false;
    }
    RawPicture picture = RPcreate(static_cast<uint32_t>(slice.m_height), static_cast<uint32_t>(slice.m_width), 8);
    bool written = false;
    if (picture.m_status == 0) {
        RPsetGreyPalette(picture);
        std::memcpy(picture.m_pixels, slice.m_data, static_cast<size_t>(slice.ByteCount()));
        if (plane != 2) {
            // The z axis gets its physical length; the YZ plane takes the x pixel size.
            VFlip(picture);
            const double scale = m_pixelSizeZ / (plane == 0 ? m_pixelSizeX : m_pixelSizeY);
            RawPicture scaled = RPresample(picture, 1.0, scale);
            RPfree(picture);
            picture = scaled;
        }
        written = picture.m_status == 0 && RPwritePNG(picture, path);
    }
    RPfree(picture);
    FreeSliceImage(slice);
    if (!written)
        m_host.Dialogs().ShowMessage("Error", "Cannot write the picture " + path + ".", CDialogService::Icon::kError);
    return written;
}

void CViewer::OnSaveSnapshot() {
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = ProposedName(".png", -1);
    const std::string path = m_host.Dialogs().AskSaveFileName(request);
    if (!path.empty()) SaveSnapshot(path);
}

bool CViewer::SaveSnapshot(const std::string& path) {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool written = false;
    if (m_view.ReadFrameBuffer(width, height, pixels)) {
        RawPicture picture = UprightPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), pixels);
        written = RPwritePNG(picture, path);
    }
    if (!written)
        m_host.Dialogs().ShowMessage("Error", "Cannot write the picture " + path + ".", CDialogService::Icon::kError);
    return written;
}

void CViewer::OnSaveTimeSequence() {
    const std::string path =
        m_host.Dialogs().AskSaveFileName({"Movie files (*.avi)", "avi", ProposedName(".avi", -1)});
    if (!path.empty()) ExportMovie(path);
}

std::vector<int> CViewer::MovieFrames() const {
    std::vector<int> frames;
    const int last = LastFrameIndex();
    for (int t = 0; t <= last; ++t) frames.push_back(t);
    // Ping-pong movies run back without repeating the turning frames, so they loop smoothly.
    if (m_pingPongUp || m_pingPongDown)
        for (int t = last - 1; t >= 1; --t) frames.push_back(t);
    return frames;
}

bool CViewer::ExportMovie(const std::string& path) {
    const std::vector<int> frames = MovieFrames();
    const int savedFrame = m_t;
    // No tick may move the frame counter while the movie is written.
    const bool wasPlaying = m_playing;
    if (wasPlaying) m_host.StopTimer();
    m_host.SetWaitCursor(true);
    m_host.BeginProgress(static_cast<int>(frames.size()));

    const std::string temporary = TemporaryPathBeside(path);
    std::string error;
    bool cancelled = false;
    try {
        CVekMovie movie(4);
        const double rate = m_frameTimeMs > 0 ? std::trunc(1000.0 / m_frameTimeMs + 0.5) : 1000.0;
        movie.m_frameRate = static_cast<int32_t>(std::max(1.0, rate));
        movie.Open(temporary.c_str(), CVekMovie::kOpenCreate | CVekMovie::kOpenWrite);
        std::vector<uint8_t> pixels;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (!m_host.StepProgress(static_cast<int>(i), static_cast<int>(frames.size()))) {
                cancelled = true;
                break;
            }
            m_t = frames[i];
            RefreshView();
            m_view.RenderNow();
            int width = 0, height = 0;
            if (!m_view.ReadFrameBuffer(width, height, pixels))
                throw CVisError("Cannot read the view", kVisErrorFailure, "", "Viewer", __LINE__);
            UprightPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), pixels);
            CVisRGBAByteImage image(CVisShape(0, 0, width, height), pixels.data());
            movie.WriteFrame(image, -1);
        }
        movie.Close();
    } catch (CVisError& e) {
        error = e.FullMessage();
    } catch (const std::exception& e) {
        error = std::string("Exception: \nmessage: ") + e.what();
    }
    m_host.EndProgress();
    m_host.SetWaitCursor(false);

    std::error_code ignored;
    if (error.empty() && !cancelled) {
        std::error_code renameError;
        std::filesystem::rename(temporary, path, renameError);
        if (renameError) error = "Cannot replace " + path + ": " + renameError.message();
    }
    if (!error.empty() || cancelled) std::filesystem::remove(temporary, ignored);

    m_t = savedFrame;
    RefreshView();
    if (wasPlaying && !m_host.StartTimer(TimerPeriodMs())) m_playing = false;
    if (!error.empty()) m_host.Dialogs().ShowMessage(kProductName, error, CDialogService::Icon::kWarning);
    return error.empty() && !cancelled;
}

CPreferenceValues CViewer::CurrentPreferences() const {
    return {m_frameTimeMs, m_pixelSizeX, m_pixelSizeY, m_pixelSizeZ,
            CPreferencesDialog::SaturationToPercent(m_saturation)};
}

void CViewer::OnPreferences() {
    CPreferenceValues values = CurrentPreferences();
    if (!m_host.EditPreferences(values)) return;
    ApplyPreferences(values);
}

void CViewer::ApplyPreferences(const CPreferenceValues& values) {
    m_frameTimeMs = values.frameTimeMs;
    m_pixelSizeX = values.pixelSizeX;
    m_pixelSizeY = values.pixelSizeY;
    m_pixelSizeZ = values.pixelSizeZ;
    FitLabelsToVolume();
    const double saturation = CPreferencesDialog::PercentToSaturation(values.saturationPercent);
    if (saturation != m_saturation) {
        m_saturation = saturation;
        // The volume is loaded again with it, the same DICOM series without
        // asking; movies, shown as they are, wait for the next file.
        const CVolumeFileInfo& file = m_volume.m_fileInfo;
        if (file.m_format != EVolumeFormat::kNone && VolumeFormatRow(file.m_format).windowed) {
            LoadVolume(file.m_path, file.m_reopenChoice, file.m_format);
            return;
        }
    } else if (m_playing) {
        m_playing = false;
        if (m_host.StartTimer(TimerPeriodMs())) m_playing = true;
        return;
    }
    RefreshView();
}
