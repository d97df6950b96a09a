#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "LabelFileOrigin.h"
#include "LabelImage.h"
#include "LabelTable.h"
#include "MeshObject.h"
#include "TimeVolume.h"
#include "ViewInterface.h"
#include "ViewerHost.h"
#include "ViewerState.h"

// The label image over the planes and as surface meshes: reading it, fitting
// it to the volume, its overlay textures, and its meshes, which are the last
// objects of the view's mesh set (meshes from .obj files come first and stay).
// It reads the viewer's state and never writes it: what showing labels
// changes beyond them (a grid of their own) it returns for the viewer to take.
class CLabelLayer {
public:
    // What showing a label image changed beyond the labels and their surfaces.
    struct CGridChange {
        // Without a volume the labels make the grid with their own voxel size,
        // and the position moves to its centre with every plane shown.
        std::optional<std::array<double, 3>> pixelSize;
        std::optional<std::array<int, 3>> centre;
        // The name the title takes when it has none.
        std::string fileTitle;
    };

    CLabelLayer(const CViewerState& state, const CTimeVolume& volume, CViewInterface& view, CViewerHost& host);

    const CLabelImage& Image() const { return m_labels; }
    // The image for those who edit its voxels; after an edit they call
    // UploadOverlay (while a stroke goes on) and RemakeSurfaces (when it ends).
    CLabelImage& EditImage() { return m_labels; }
    // What the file the labels were read from needs to be written back in its
    // own form; none for labels made here or read from no file.
    const std::optional<CLabelFileOrigin>& Origin() const { return m_origin; }
    // After the labels were saved to `path` (in the form `origin` describes,
    // none for a new file of their own).
    void SavedAs(const std::string& path, std::optional<CLabelFileOrigin> origin) {
        m_path = path;
        m_origin = std::move(origin);
    }
    bool Empty() const { return m_labels.Empty(); }
    const std::string& Path() const { return m_path; }
    // Counts up whenever the image is replaced, dropped or its voxels
    // reordered, so that a record of edits knows it no longer applies.
    unsigned Generation() const { return m_generation; }
    // Counts up only when another image (or none) takes the place of this one.
    unsigned Identity() const { return m_identity; }
    // A single frame of labels becomes one per volume frame, each a copy, so
    // that frames can be told apart (for carrying labels over time). What is
    // shown stays the same; the file's form can no longer be written back.
    // False, with `error`, when there is not enough memory.
    bool RepeatOverFrames(std::string& error);
    // How many of the meshes were made from the labels.
    int MeshCount() const { return m_meshCount; }

    // Reads a label image file and shows it (Show). False, with a message,
    // when it cannot be read or does not fit; nothing changes then.
    bool Load(const std::string& path, CGridChange& change);
    // Shows `labels`, read from `path`, replacing the earlier label image and
    // its meshes. The labels must have the volume's x, y and z size and one
    // frame or the volume's frame count; without a volume they make the grid
    // (with their own pixel sizes, which they must carry). False, with a
    // message, when they do not fit. `change` says what the viewer takes over.
    bool Show(CLabelImage&& labels, const std::string& path, CGridChange& change);
    // After the volume or the pixel sizes changed: forgets labels that no
    // longer fit the volume, with their meshes, and makes the meshes again
    // where the voxel size or the frame count they were made for changed.
    void FitToVolume();
    // Makes the surfaces of labels `values` in label frames `frames` again
    // after their voxels were edited; the other surfaces stay as they are.
    // A single frame of labels serves every frame: its surfaces are made
    // once and repeated.
    void RemakeSurfaces(const std::vector<int>& frames, const std::vector<int64_t>& values);

    // The grid the planes cut: the volume's, else the label image's.
    void GridSize(int size[3]) const;
    // The label frame that goes with the display frame: a single frame serves all.
    int Frame() const;
    // Hands the overlay of the display frame to the view, or removes it,
    // with the label colours of the view's surfaces.
    void UploadOverlay();

    // --- Names, colours and what is shown ----------------------------------
    // The labels' names, colours and shown state. Read from the description
    // file beside the image by Load; empty for labels shown without one. A
    // change shows once the overlay is uploaded again (a notice does that).
    const CLabelTable& Table() const { return m_table; }
    CLabelTable& Table() { return m_table; }
    // The description file the table was read from or last written to; "" for none.
    const std::string& DescriptionsPath() const { return m_descriptionsPath; }
    // Writes the table, with every label of the image, as the description
    // file of the label image saved as `labelPath`: the file the table came
    // from when the image keeps its path, else <stem>_labels.txt beside it.
    // False, with `error`, when it cannot be written.
    bool SaveDescriptions(const std::string& labelPath, std::string& error);

private:
    // Where the volume and the labels both say where they lie in the patient:
    // reorders the labels onto the volume's voxels, or refuses them (saying
    // why when `tell`) when they do not lie on them. True when the labels
    // may be shown (also when either has no geometry).
    bool PlaceByGeometry(CLabelImage& labels, const std::string& path, bool tell);
    using PixelSize = std::array<double, 3>;
    // The voxel size in force.
    PixelSize StatePixelSize() const;
    // Puts `meshes`, made for `frames` frames at `pixelSize`, in place of the label meshes.
    void ReplaceMeshes(std::vector<CMeshObject>&& meshes, int frames, const PixelSize& pixelSize);
    // The label meshes: one object per label present and frame, at `pixelSize`.
    // Which surfaces to make: of these label frames and label values (ascending).
    struct CSurfaceChoice {
        std::vector<int> frames;
        std::vector<int64_t> values;
    };
    // With `only`, just the surfaces it chooses.
    std::vector<CMeshObject> Meshes(const CLabelImage& labels, int frames, const PixelSize& pixelSize,
                                    const CSurfaceChoice* only = nullptr);
    // Meshes(labels, frames, pixelSize), or nothing with the reason shown.
    bool TryMeshes(const CLabelImage& labels, const std::string& path, int frames, const PixelSize& pixelSize,
                   std::vector<CMeshObject>& meshes, const CSurfaceChoice* only = nullptr);

    const CViewerState& m_state;
    const CTimeVolume& m_volume;
    CViewInterface& m_view;
    CViewerHost& m_host;
    CLabelImage m_labels;
    std::string m_path;
    std::optional<CLabelFileOrigin> m_origin;
    unsigned m_generation = 0;
    unsigned m_identity = 0;
    int m_meshCount = 0;
    bool m_overlayUploaded = false;
    // The voxel size and frame count the meshes were made for.
    PixelSize m_meshPixelSize = {0.0, 0.0, 0.0};
    int m_meshFrames = 0;

    // The names and looks of the labels, and where they were read from for
    // which label image (the path they belong with).
    CLabelTable m_table;
    std::string m_descriptionsPath;
    std::string m_descriptionsOf;
    // Reads the description file beside `labelPath` into the table; a broken
    // one is reported and the table stays empty.
    void LoadDescriptions(const std::string& labelPath);
    // Hands the view the colours of the label surfaces.
    void PublishLabelColours();
    // Another image (or none, with `path` "") takes the place of the one
    // shown: its file, file form and names go, and records of edits made on
    // the old one no longer apply.
    void TakeIdentity(const std::string& path);
};
