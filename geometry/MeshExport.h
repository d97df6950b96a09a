#pragma once

#include <string>
#include <vector>

#include "MeshFormat.h"
#include "MeshObject.h"

class CMeshSet;

// Writes meshes to files of any mesh format, chosen by the extension of the
// name. Every file is written beside its target under a temporary name and
// takes the target's name only once it is complete, so a failed write leaves
// whatever file was there before; a write of several files replaces none of
// the old ones unless every new one was written.
class CMeshExport {
public:
    // Writes `objects` as one file of `format` at `path`. False with `error`
    // saying why when it cannot be written.
    static bool WriteFile(const std::vector<const CMeshObject*>& objects, EMeshFormat format,
                          const std::string& path, std::string& error);

    // Writes every object of frame `frame` as one file, in the format of
    // the name's extension.
    static bool WriteFrame(const CMeshSet& meshes, int frame, const std::string& path, std::string& error);

    // Writes one file per frame that has objects, NAME-<frame>.EXT for
    // `path` NAME.EXT (FramePath); for VTK polydata also NAME.pvd, the
    // collection that gives each file its time in ms, the frame times
    // `frameTimeMs`. `written` lists the files made, in frame order, the
    // collection last.
    static bool WriteAllFrames(const CMeshSet& meshes, const std::string& path, int frameTimeMs,
                               std::vector<std::string>& written, std::string& error);

    // NAME-<frame>.EXT for `path` NAME.EXT: the frame number with at least
    // two digits, as the meshes of label images are named (label1-07).
    static std::string FramePath(const std::string& path, int frame);

    // The file content of `objects` in `format`: the .obj text the mesh set
    // reads, or what the format's library makes. Throws std::runtime_error
    // (std::bad_alloc when memory runs out).
    static std::string Encode(const std::vector<const CMeshObject*>& objects, EMeshFormat format);
};
