#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "LabelImage.h"
#include "MeasurementLayer.h"
#include "MeshSet.h"

class CViewer;

// The quantities the Curves panel plots and the exports write: each label's
// volume in every frame, the enclosed volume of every closed mesh line (the
// objects that differ only in their frame suffix) and the ejection of one of
// them. Computed from the data once; the panel and the exports read it.
class CCurves {
public:
    // At most this many frames are tabled: a mesh named "a-999999999" would
    // otherwise ask for a table of a billion frames.
    static constexpr int kMaxFrames = 100000;

    // One curve: millilitres in each frame, NaN where it has no value (a
    // frame without the line's mesh).
    struct Line {
        std::string name;   // "label2", or the meshes' name before the frame suffix
        int64_t label = 0;  // the label value of a label line; 0 for a mesh line
        std::vector<double> ml;
        // A mesh line of a label's surfaces: that label's value; 0 for the
        // objects of a mesh file.
        int64_t surfaceOf = 0;
    };
    // End-diastolic and end-systolic volume (the largest and the smallest),
    // stroke volume, ejection fraction, and the frames of the two volumes.
    struct Ejection {
        std::string line;
        int64_t label = 0;
        double edvMl = 0, esvMl = 0, svMl = 0, efPercent = 0;
        int edFrame = 0, esFrame = 0;
        bool automatic = false;  // chosen by its variation, not by the user
    };

    // Each label's volume in each frame of the label image: voxels x voxel
    // size (mm) / 1000.
    static std::vector<Line> LabelVolumes(const CLabelImage& labels, const double pixelSizeMm[3]);
    // The enclosed volumes of the mesh lines over `frames` frames. A line
    // with an object that is not watertight has no volume; its name goes to
    // `open` instead. Objects without a frame number are never shown and
    // are left out. A label's surfaces are a line of their own even where a
    // mesh file has objects of their name; that file's line is then called
    // "<name>_file" (or "<name>_file2" and on, where that name is taken too),
    // so no two lines, columns or legend entries share a name.
    static std::vector<Line> MeshVolumes(const CMeshSet& meshes, int frames, std::vector<std::string>& open);
    // The ejection of a line; none, with `error` saying why, when the line
    // has no frames or a frame without volume.
    static std::optional<Ejection> Eject(const Line& line, std::string& error);
    // The line whose volume varies most against its mean, (largest -
    // smallest) / mean, among those with a volume in every frame; -1 when
    // there is none.
    static int AutomaticChoice(const std::vector<Line>& lines);

    // Computes every curve of what the viewer shows, over its frames: the
    // volume's, the label image's and the meshes' (a one-frame label image
    // serves every frame, as on the planes). Without `meshes` only the label
    // lines, which cost nothing: the label image counts its voxels as it loads.
    void Compute(const CViewer& viewer, bool meshes = true);
    void Compute(const CLabelImage& labels, const double pixelSizeMm[3], const CMeshSet& meshes, int frames,
                 double frameTimeMs);

    // The values in the file's units at the position (the file's voxel, as
    // the readout names it) in every frame, and with `labelMeans` the mean
    // value inside each label in every frame; NaN where there is none (no
    // volume, a frame the volume lacks, a label absent from a frame).
    // Compute(viewer) does this too, keeping the last choice of means.
    void ComputeValues(const CViewer& viewer, bool labelMeans);

    // What the viewer's measurements are placed on: the volume's size, the
    // pixel sizes and transform in force, the label image.
    static CMeasurementLayer::CVolumeContext MeasurementContext(const CViewer& viewer);
    // One line per measurement, named after its column ("d1_mm"), a value
    // (mm, degrees, mm2) per frame; Compute(viewer) makes them, and
    // ComputeMeasurements(viewer) alone, over the frames computed last.
    const std::vector<Line>& MeasurementLines() const { return m_measureLines; }
    void ComputeMeasurements(const CViewer& viewer);

    int Frames() const { return m_frames; }
    double FrameTimeMs() const { return m_frameTimeMs; }
    const std::vector<Line>& LabelLines() const { return m_labelLines; }
    const std::vector<Line>& MeshLines() const { return m_meshLines; }
    const std::vector<std::string>& OpenMeshes() const { return m_openMeshes; }
    // The time-intensity curve at the position, named "value_at_position".
    const Line& ValueLine() const { return m_valueLine; }
    // One line per label ("label<N>_mean"), when ComputeValues was asked for them.
    const std::vector<Line>& MeanLines() const { return m_meanLines; }

    // The ejection of label `label`, or with 0 of the automatic choice among
    // the labels; none with `error` saying why.
    std::optional<Ejection> LabelEjection(int64_t label, std::string& error) const;

    // One row per frame: frame, time_ms, label<N>_ml per label,
    // <name>_mesh_ml per closed mesh line, one column per measurement
    // (<name>_mm, <name>_deg, <name>_mm2) and value_at_position. Numbers in C notation (10
    // significant digits, '.' whatever the locale); an empty field where a
    // line has no value.
    std::string Csv() const;

private:
    // Renames the mesh-file lines that share their name with a line of label
    // surfaces, as MeshVolumes tells.
    static void NameFileLinesApart(std::vector<Line>& lines);

    int m_frames = 0;
    double m_frameTimeMs = 0;
    std::vector<Line> m_labelLines;
    std::vector<Line> m_meshLines;
    std::vector<Line> m_measureLines;  // a value per frame in `ml`, whatever its unit
    std::vector<std::string> m_openMeshes;
    Line m_valueLine{"value_at_position", 0, {}, 0};
    std::vector<Line> m_meanLines;
    bool m_labelMeans = false;
};
