#pragma once

#include "CommandLine.h"

// Runs the command line's outputs without a window or display: the viewer
// draws into an offscreen context. Returns the exit status: 0 done, 1 a file
// could not be read or written, 2 a usage error.
int RunHeadless(const CCommandLine& commandLine);

// The --info text for a loaded viewer: one JSON object.
class CViewer;
std::string InfoJson(const CViewer& viewer);

// What a NIfTI export of the viewer's volume writes beside it (NAME.json):
// the timing, the DICOM series it came from where it did, its source and the
// program's version, as one JSON object.
std::string NiftiSidecarJson(const CViewer& viewer);
