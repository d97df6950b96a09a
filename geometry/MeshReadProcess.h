#pragma once

#include <functional>
#include <vector>

#include "MeshObject.h"

// Runs the reading of a mesh file by a third-party library in a child
// process. The readers of VTK and libgiftiio trust what a file says: a
// damaged or hostile file can make them crash, loop or claim all memory.
// In a child that costs only the file, which is then refused with the
// reason, and the viewer keeps what it showed.
class CMeshReadProcess {
public:
    // The objects `read` gives when run in a child process. Throws
    // std::runtime_error with the reason `read` gave, or saying how the
    // child ended when it gave none: it crashed, took more than `seconds`,
    // or ran out of memory. Modules `read` needs must be loaded before the
    // call, since a child cannot safely load libraries.
    static std::vector<CMeshObject> Run(const std::function<std::vector<CMeshObject>()>& read, int seconds);
};
