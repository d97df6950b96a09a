#pragma once

#include <string>

// Checks that mesh files are whole before a library reads them. The readers
// of VTK trust the sizes a file announces: a binary STL file cut short reads
// as fewer triangles without complaint, and a PLY or VTK XML header may claim
// billions of points, which the reader then tries to allocate. Each check
// throws std::runtime_error, saying what is wrong, when the file cannot hold
// what it announces.
class CMeshFileCheck {
public:
    // A binary STL file must hold exactly the triangles its header counts;
    // a text STL file (beginning with "solid") is left to its reader.
    static void CheckStl(const std::string& path);
    // The elements a PLY header announces must fit in the bytes after it.
    static void CheckPly(const std::string& path);
    // The points, cells and components a VTK XML file announces must be
    // within what its size can hold, even compressed.
    static void CheckVtp(const std::string& path);
};
