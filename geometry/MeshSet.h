#pragma once

#include <string>
#include <vector>

#include "MeshFormat.h"
#include "MeshObject.h"

// The extension of the viewer's own mesh files (Wavefront .obj): the
// companion file of a volume, and what --export-obj writes.
inline constexpr char kMeshFileExtension[] = ".obj";

// The meshes of one .obj file, in file order, with the frame structure the
// view asks for on every frame it draws. The frame numbers are taken from the
// names once, whenever the set changes, not on each query.
class CMeshSet {
public:
    CMeshSet();
    virtual ~CMeshSet();
    CMeshSet(const CMeshSet& other);
    CMeshSet& operator=(const CMeshSet& other);
    CMeshSet(CMeshSet&& other) noexcept;
    CMeshSet& operator=(CMeshSet&& other) noexcept;

    // Replaces the content with the objects of the .obj file at `path` and
    // computes their normals. Returns false, with the content unchanged, when
    // the file cannot be opened or read, or does not fit in memory; true
    // otherwise, whatever its lines held. Lines it cannot use are reported on
    // standard output.
    bool LoadObj(const std::string& path);
    // Writes every object to `path` in the .obj subset LoadObj reads, so that
    // reading the file gives the same objects back: one group per object,
    // its vertices, then its triangles. The file is replaced only by a
    // complete one. False with `error` saying why when it cannot be written.
    bool SaveObj(const std::string& path, std::string& error) const;
    // Replaces the content with the objects of a mesh file of any format
    // (MeshFormat.h; names of no mesh format are read as .obj) and computes
    // their normals. False, with the content unchanged and `error` saying
    // why, when the file cannot be read.
    bool Load(const std::string& path, std::string& error);

    // Appends a copy of `object`.
    void AddObject(const CMeshObject& object);
    // Appends `objects`, moved in.
    void AddObjects(std::vector<CMeshObject>&& objects);
    // Keeps the first `count` objects and removes the rest.
    void Truncate(int count);
    // Moves objects [first, end) out of the set, which keeps those before.
    std::vector<CMeshObject> TakeFrom(int first);

    int ObjectCount() const { return static_cast<int>(m_objects.size()); }
    // Object `index`, 0 <= index < ObjectCount().
    const CMeshObject& Object(int index) const { return m_objects.at(static_cast<size_t>(index)); }
    const std::vector<CMeshObject>& Objects() const { return m_objects; }

    // The mean of all vertices of all objects; the origin when there are none.
    Vec3d Centroid() const;
    // The largest frame number of the objects; -1 when the set is empty or no
    // name carries a frame.
    int LastFrame() const { return m_lastFrame; }
    // The indices, in set order, of the objects of `frame`.
    std::vector<int> ObjectsOfFrame(int frame) const;

    // Caps every object (CMeshObject::ZCap), in set order.
    void ZCapAll();

private:
    // Re-reads the frame numbers from the names after the objects changed.
    void UpdateFrames();

    std::vector<CMeshObject> m_objects;
    std::vector<int> m_frameNumbers;
    int m_lastFrame = -1;
};
