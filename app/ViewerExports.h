#pragma once

#include <string>
#include <vector>

class CViewer;

// What the viewer writes: a picture of the 3-D view, single planes as
// pictures, the time sequence as a movie and every mesh as an .obj file. Each
// reports its own failure to the user and returns false then; the save
// commands (On...) ask for the file name first, headless runs call the
// writers directly. It keeps nothing of its own: one is made for each use.
class CViewerExports {
public:
    explicit CViewerExports(CViewer& viewer) : m_viewer(viewer) {}

    // The save commands: each asks for a file name, then writes.
    void OnSaveSnapshot();
    // Plane 0 = YZ at x, 1 = XZ at y, 2 = XY at z.
    void OnSavePlane(int plane);
    void OnSaveTimeSequence();
    void OnSaveGeometry();
    void OnSaveVolumeNifti();
    void OnSaveLabelsNifti();
    // Every label's and closed mesh's volume in each frame, as a CSV file.
    void OnSaveCurvesCsv();

    bool SaveSnapshot(const std::string& path);
    // Plane 0 = YZ at x, 1 = XZ at y, 2 = XY at z, of the current frame.
    bool SavePlane(int plane, const std::string& path);
    // Every frame (and back, for ping-pong playback), as the view shows it.
    bool ExportMovie(const std::string& path);
    // Writes every mesh (from .obj files and labels) as an .obj file.
    bool SaveGeometry(const std::string& path);
    // Writes the meshes of the current frame as one file in the format of
    // the name's extension (MeshFormat.h); with AllMeshFrames, one file per
    // frame instead (CMeshExport::WriteAllFrames).
    bool ExportMeshes(const std::string& path);
    // Whether ExportMeshes writes every frame; the save dialog's check box
    // starts from it and keeps the user's choice.
    bool AllMeshFrames() const;
    void SetAllMeshFrames(bool all);

    // Every frame of the volume in the file's units as a NIfTI image (.nii or
    // .nii.gz) with its place in the patient, and NAME.json beside it saying
    // where it came from (NAME: the path without .nii or .nii.gz).
    bool SaveVolumeNifti(const std::string& path);
    // The label image as it lies on the volume's grid, as a NIfTI image with
    // the volume's place in the patient.
    bool SaveLabelsNifti(const std::string& path);

    // Whether ExportMeshes writes patient coordinates (RAS millimetres
    // through the volume's transform) instead of the view's millimetres.
    bool MeshesInPatientSpace() const;
    void SetMeshesInPatientSpace(bool patient);

    // The frames a movie shows, in order: all, then back when ping-pong is on.
    std::vector<int> MovieFrames() const;
    // The name a save dialog proposes: the volume's path without its
    // extension and `suffix`, a printf format that may take `index`.
    std::string ProposedName(const char* suffix, int index) const;
    // The name the geometry save proposes: beside the volume, else the labels.
    std::string ProposedGeometryName() const;

private:
    // Shows a mesh writer's error as the message of a failed save.
    void ReportMeshError(const std::string& error);
    // Reports a failed save of `what` with its reason.
    void ReportSaveError(const std::string& what, const std::string& error);

    CViewer& m_viewer;
};
