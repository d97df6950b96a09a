#pragma once

#include <string>
#include <vector>

#include "MeshFormat.h"
#include "MeshObject.h"

// The mesh formats written and read by libraries: STL, PLY and VTK XML
// polydata by VTK (in the orvanta-surface module, which label surfaces load
// as well), GIfTI by libgiftiio (in the orvanta-gifti module). A module is
// loaded the first time its format is used, so a start of the program pays
// for neither library.
//
// Files hold coordinates as 32-bit floats, as .obj files do. Where a format
// can carry them, object names are kept: PLY files list each object (its
// name and vertex count, objects one after the other) in header comments,
// VTK polydata give each point and triangle the index of its object
// ("ObjectId") and the names in the field data ("ObjectName"). STL and GIfTI
// files hold one surface: the objects written into one are read back as one
// object.
class CMeshCodec {
public:
    // The codec of `format` (not kObj or kNone), loading its module on first
    // use. Throws std::runtime_error when the module cannot be loaded.
    static const CMeshCodec& Get(EMeshFormat format);

    // The whole content of a file of `format` holding `objects`; triangles
    // that name no vertex of their object are left out. Throws
    // std::runtime_error saying why when the library cannot make it.
    virtual std::string Encode(const std::vector<const CMeshObject*>& objects, EMeshFormat format) const = 0;
    // The objects of the file at `path`: named as the file says, else one
    // object named `name`; every triangle names a vertex of its object.
    // Normals are not computed. Throws std::runtime_error saying why the file
    // cannot be read (std::bad_alloc when it does not fit in memory).
    virtual std::vector<CMeshObject> Decode(const std::string& path, EMeshFormat format,
                                            const std::string& name) const = 0;

protected:
    ~CMeshCodec() = default;
};
