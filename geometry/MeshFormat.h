#pragma once

#include <string>

// The mesh file formats the viewer reads and writes, told apart by the
// extension of the file name (letters in any case). Wavefront .obj is read
// and written by the program itself; the others go through libraries kept in
// modules (VTK for STL, PLY and VTK XML polydata, libgiftiio for GIfTI).
enum class EMeshFormat { kNone, kObj, kStl, kPly, kVtp, kGifti };

// The format whose extension `path` ends with; kNone for any other name.
EMeshFormat MeshFormatOfPath(const std::string& path);
// ".obj", ".stl", ...; "" for kNone.
const char* MeshFormatExtension(EMeshFormat format);
// True for names of a mesh file of any of the formats.
bool IsMeshFileName(const std::string& path);
// The extensions of every format for messages: ".obj, .stl, .ply, .vtp or .gii".
std::string MeshExtensionsText();
// Qt name filters: every format in one filter first (for opening), then one
// filter per format, separated by ";;".
std::string MeshDialogFilter();
