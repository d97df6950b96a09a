#include "ViewerExports.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "AboutDlg.h"
#include "ColourMap.h"
#include "CurvesExport.h"
#include "MeshExport.h"
#include "MeshFormat.h"
#include "MeshSet.h"
#include "NiftiExport.h"
#include "PathUtils.h"
#include "PngExport.h"
#include "RawPicture.h"
#include "TextFormat.h"
#include "VekMovie.h"
#include "Viewer.h"
#include "ViewerReport.h"
#include "VisError.h"
#include "VisImage.h"
#include "VolumeFormat.h"

namespace {

const CDialogService::FileRequest kPngRequest{"PNG files (*.png)", "png", ""};

CDialogService::FileRequest MeshFileRequest(const std::string& initialName) {
    return {MeshDialogFilter(), kMeshFileExtension + 1, initialName};
}

CDialogService::FileRequest NiftiFileRequest(const std::string& initialName) {
    return {"NIfTI images (" + ExtensionGlobs(EVolumeFormat::kNifti) + ")", "nii.gz", initialName};
}

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

// Where the volume lies, for a NIfTI export.
CNiftiExport::CPlacement Placement(const CViewer& viewer) {
    CNiftiExport::CPlacement placement;
    placement.transform = viewer.PatientTransform();
    const CViewerState& state = viewer.State();
    placement.pixelSize[0] = state.m_pixelSizeX;
    placement.pixelSize[1] = state.m_pixelSizeY;
    placement.pixelSize[2] = state.m_pixelSizeZ;
    placement.frameTimeMs = state.m_frameTimeMs;
    return placement;
}

// NAME.json for NAME.nii or NAME.nii.gz.
std::string SidecarPath(const std::string& path) {
    for (const char* extension : {".nii.gz", ".nii"})
        if (EndsWithIgnoringCase(path, extension)) return path.substr(0, path.size() - std::strlen(extension)) + ".json";
    return path + ".json";
}

// The meshes moved by `transform`, their triangles still counter-clockwise
// seen from outside where it mirrors.
CMeshSet PlacedMeshes(const CMeshSet& meshes, const CAffine& transform) {
    const CAffine::Matrix& m = transform.Rows();
    const double determinant = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    std::vector<CMeshObject> objects = meshes.Objects();
    for (CMeshObject& object : objects) {
        for (Vec3d& vertex : object.m_vertices) {
            const CAffine::Vector p = transform.Apply({vertex.x, vertex.y, vertex.z});
            vertex = {p[0], p[1], p[2]};
        }
        if (determinant < 0)
            for (Triangle& triangle : object.m_triangles) std::swap(triangle.v[1], triangle.v[2]);
        object.ComputeNormals();
    }
    CMeshSet placed;
    placed.AddObjects(std::move(objects));
    return placed;
}

}  // namespace

bool CViewerExports::AllMeshFrames() const { return m_viewer.State().m_allMeshFrames; }

void CViewerExports::SetAllMeshFrames(bool all) { m_viewer.SetMeshExportChoice(all, MeshesInPatientSpace()); }

bool CViewerExports::MeshesInPatientSpace() const { return m_viewer.State().m_meshesInPatientSpace; }

void CViewerExports::SetMeshesInPatientSpace(bool patient) { m_viewer.SetMeshExportChoice(AllMeshFrames(), patient); }

std::string CViewerExports::ProposedName(const char* suffix, int index) const {
    return PathWithoutVolumeExtension(m_viewer.State().m_volumePath) + FormatText(suffix, index);
}

std::string CViewerExports::ProposedGeometryName() const {
    const std::string& volume = m_viewer.State().m_volumePath;
    const std::string base = PathWithoutVolumeExtension(volume.empty() ? m_viewer.Labels().Path() : volume);
    return base.empty() ? "" : base + "_geometry" + kMeshFileExtension;
}

bool CViewerExports::SavePlane(int plane, const std::string& path) {
    const CViewerState& state = m_viewer.State();
    const int index[3] = {state.m_x, state.m_y, state.m_z};
    CSliceImage slice = m_viewer.Volume().GetSlice(plane, index[plane], state.m_t, false);
    CDialogService& dialogs = m_viewer.Host().Dialogs();
    if (slice.m_width == 0) {
        dialogs.ShowMessage(
            "Error",
            FormatText("There is no %s plane to save at position %i of frame %i: it lies outside the volume.",
                       plane == 0   ? "YZ"
                       : plane == 1 ? "XZ"
                                    : "XY",
                       index[plane], state.m_t),
            CDialogService::Icon::kError);
        return false;
    }
    RawPicture picture =
        RPcreate(static_cast<uint32_t>(slice.m_height), static_cast<uint32_t>(slice.m_width), 8);
    bool written = false;
    if (picture.m_status == 0) {
        RPsetGreyPalette(picture);
        std::memcpy(picture.m_pixels, slice.m_data, static_cast<size_t>(slice.ByteCount()));
        if (plane != 2) {
            // The z axis gets its physical length; the YZ plane takes the x pixel size.
            VFlip(picture);
            const double scale = state.m_pixelSizeZ / (plane == 0 ? state.m_pixelSizeX : state.m_pixelSizeY);
            RawPicture scaled = RPresample(picture, 1.0, scale);
            RPfree(picture);
            picture = scaled;
        }
        const EColourMap map = m_viewer.View().m_colourMap;
        if (picture.m_status == 0 && map != EColourMap::kGrey) {
            // Another map than grey is written in its colours, as RGB.
            RawPicture colour = RPcreate(picture.m_height, picture.m_width, 24);
            if (colour.m_status == 0) {
                const auto& table = ColourMapTable(map);
                for (uint32_t y = 0; y < picture.m_height; ++y) {
                    const uint8_t* grey = RPgetScanline(picture, y);
                    uint8_t* out = RPgetScanline(colour, y);
                    for (uint32_t x = 0; x < picture.m_width; ++x, out += 3) {
                        // The picture's bytes are blue, green, red.
                        const std::array<uint8_t, 3>& rgb = table[grey[x]];
                        out[0] = rgb[2];
                        out[1] = rgb[1];
                        out[2] = rgb[0];
                    }
                }
            }
            RPfree(picture);
            picture = colour;
        }
        written = picture.m_status == 0 && RPwritePNG(picture, path);
    }
    RPfree(picture);
    FreeSliceImage(slice);
    if (!written)
        dialogs.ShowMessage("Error", "Cannot write the picture " + path + ".", CDialogService::Icon::kError);
    return written;
}

bool CViewerExports::SaveSnapshot(const std::string& path) {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool written = false;
    if (m_viewer.View().ReadFrameBuffer(width, height, pixels)) {
        RawPicture picture =
            UprightPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), pixels);
        written = RPwritePNG(picture, path);
    }
    if (!written)
        m_viewer.Host().Dialogs().ShowMessage("Error", "Cannot write the picture " + path + ".",
                                              CDialogService::Icon::kError);
    return written;
}

std::vector<int> CViewerExports::MovieFrames() const {
    std::vector<int> frames;
    const int last = m_viewer.Navigation().LastFrameIndex();
    for (int t = 0; t <= last; ++t) frames.push_back(t);
    // Ping-pong movies run back without repeating the turning frames, so they loop smoothly.
    if (m_viewer.State().m_pingPongUp || m_viewer.State().m_pingPongDown)
        for (int t = last - 1; t >= 1; --t) frames.push_back(t);
    return frames;
}

bool CViewerExports::ExportMovie(const std::string& path) {
    const std::vector<int> frames = MovieFrames();
    const int savedFrame = m_viewer.State().m_t;
    CViewerHost& host = m_viewer.Host();
    // No tick may move the frame counter while the movie is written.
    m_viewer.Navigation().PausePlayback();
    host.SetWaitCursor(true);
    host.BeginProgress(static_cast<int>(frames.size()));

    const std::string temporary = TemporaryPathBeside(path);
    std::string error;
    bool cancelled = false;
    try {
        CVekMovie movie(4);
        const int frameTime = m_viewer.State().m_frameTimeMs;
        const double rate = frameTime > 0 ? std::trunc(1000.0 / frameTime + 0.5) : 1000.0;
        movie.m_frameRate = static_cast<int32_t>(std::max(1.0, rate));
        movie.Open(temporary.c_str(), CVekMovie::kOpenCreate | CVekMovie::kOpenWrite);
        std::vector<uint8_t> pixels;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (!host.StepProgress(static_cast<int>(i), static_cast<int>(frames.size()))) {
                cancelled = true;
                break;
            }
            m_viewer.Navigation().SetFrame(frames[i]);
            m_viewer.View().RenderNow();
            int width = 0, height = 0;
            if (!m_viewer.View().ReadFrameBuffer(width, height, pixels))
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
    host.EndProgress();
    host.SetWaitCursor(false);

    std::error_code ignored;
    if (error.empty() && !cancelled) {
        std::error_code renameError;
        std::filesystem::rename(temporary, path, renameError);
        if (renameError) error = "Cannot replace " + path + ": " + renameError.message();
    }
    if (!error.empty() || cancelled) std::filesystem::remove(temporary, ignored);

    m_viewer.Navigation().SetFrame(savedFrame);
    m_viewer.Navigation().ResumePlayback();
    if (!error.empty()) host.Dialogs().ShowMessage(kProductName, error, CDialogService::Icon::kWarning);
    return error.empty() && !cancelled;
}

bool CViewerExports::SaveGeometry(const std::string& path) {
    std::string error;
    if (m_viewer.View().m_meshes.SaveObj(path, error)) return true;
    ReportMeshError(error);
    return false;
}

bool CViewerExports::ExportMeshes(const std::string& path) {
    const CMeshSet* meshes = &m_viewer.View().m_meshes;
    CMeshSet placed;
    if (MeshesInPatientSpace()) {
        const std::optional<CAffine> toPatient = m_viewer.SceneToPatient();
        if (!toPatient) {
            ReportMeshError("the meshes cannot be written in patient space: the volume has no geometry");
            return false;
        }
        placed = PlacedMeshes(*meshes, *toPatient);
        meshes = &placed;
    }
    std::string error;
    // An .obj file names each object's frame, so one file holds the whole
    // sequence and loads back as it, as it always has.
    if (!AllMeshFrames() && MeshFormatOfPath(path) == EMeshFormat::kObj) {
        if (meshes->SaveObj(path, error)) return true;
        ReportMeshError(error);
        return false;
    }
    std::vector<std::string> written;
    m_viewer.Host().SetWaitCursor(true);
    const bool ok = AllMeshFrames() ? CMeshExport::WriteAllFrames(
                                          *meshes, path, m_viewer.State().m_frameTimeMs, written, error)
                                    : CMeshExport::WriteFrame(*meshes, m_viewer.State().m_t, path, error);
    m_viewer.Host().SetWaitCursor(false);
    if (!ok) ReportMeshError(error);
    return ok;
}

bool CViewerExports::SaveVolumeNifti(const std::string& path) {
    std::string error;
    const bool ok = CNiftiExport::WriteVolume(m_viewer.Volume(), Placement(m_viewer), path, error) &&
                    WriteWholeFile(SidecarPath(path), CViewerReport(m_viewer).NiftiSidecarJson(), error);
    if (!ok) ReportSaveError("the volume", error);
    return ok;
}

bool CViewerExports::SaveLabelsNifti(const std::string& path) {
    std::string error;
    const bool ok = CNiftiExport::WriteLabels(m_viewer.Labels().Image(), Placement(m_viewer), path, error);
    if (!ok) ReportSaveError("the label image", error);
    return ok;
}

void CViewerExports::ReportSaveError(const std::string& what, const std::string& error) {
    m_viewer.Host().Dialogs().ShowMessage("Error", "Cannot save " + what + ":\n" + error + ".",
                                          CDialogService::Icon::kError);
}

void CViewerExports::ReportMeshError(const std::string& error) {
    std::string text = error;
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    m_viewer.Host().Dialogs().ShowMessage("Error", text + ".", CDialogService::Icon::kError);
}

void CViewerExports::OnSaveGeometry() {
    std::vector<CDialogService::SaveOption> options = {
        {"Every frame, one file each (NAME-<frame>)", AllMeshFrames()},
        {"Patient coordinates (RAS millimetres, through the volume's geometry)", MeshesInPatientSpace()}};
    const std::string path =
        m_viewer.Host().Dialogs().AskSaveFileNameWithOptions(MeshFileRequest(ProposedGeometryName()), options);
    if (path.empty()) return;
    m_viewer.SetMeshExportChoice(options[0].checked, options[1].checked);
    ExportMeshes(path);
}

void CViewerExports::OnSaveVolumeNifti() {
    const std::string path = m_viewer.Host().Dialogs().AskSaveFileName(NiftiFileRequest(ProposedName(".nii.gz", -1)));
    if (!path.empty()) SaveVolumeNifti(path);
}

void CViewerExports::OnSaveLabelsNifti() {
    const std::string path =
        m_viewer.Host().Dialogs().AskSaveFileName(NiftiFileRequest(ProposedName("_labels.nii.gz", -1)));
    if (!path.empty()) SaveLabelsNifti(path);
}

void CViewerExports::OnSavePlane(int plane) {
    static const char* const kSuffixes[3] = {"_yz%03i.png", "_xz%03i.png", "_xy%03i.png"};
    const int index[3] = {m_viewer.State().m_x, m_viewer.State().m_y, m_viewer.State().m_z};
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = ProposedName(kSuffixes[plane], index[plane]);
    const std::string path = m_viewer.Host().Dialogs().AskSaveFileName(request);
    if (!path.empty()) SavePlane(plane, path);
}

void CViewerExports::OnSaveSnapshot() {
    CDialogService::FileRequest request = kPngRequest;
    request.initialName = ProposedName(".png", -1);
    const std::string path = m_viewer.Host().Dialogs().AskSaveFileName(request);
    if (!path.empty()) SaveSnapshot(path);
}

void CViewerExports::OnSaveTimeSequence() {
    const std::string path =
        m_viewer.Host().Dialogs().AskSaveFileName({"Movie files (*.avi)", "avi", ProposedName(".avi", -1)});
    if (!path.empty()) ExportMovie(path);
}

void CViewerExports::OnSaveCurvesCsv() {
    const std::string path = m_viewer.Host().Dialogs().AskSaveFileName(
        {"Comma-separated values (*.csv)", "csv", ProposedName("_curves.csv", -1)});
    if (!path.empty()) CCurvesExport::SaveCsv(m_viewer, path);
}
