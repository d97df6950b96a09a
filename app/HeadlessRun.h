#pragma once

#include "CommandLine.h"

// Runs the command line's outputs without a window or display: the viewer
// draws into an offscreen context. Returns the exit status: 0 done, 1 a file
// could not be read or written, 2 a usage error.
int RunHeadless(const CCommandLine& commandLine);
