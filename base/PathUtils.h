#pragma once

#include <string>

// Small operations on file paths. Folders are separated by '/'. Each function
// looks for one character from the end of the path, so a dot inside a folder
// name counts as an extension dot: callers pass plain file paths.

// Text before the last '.', or "" when the path has no '.'.
std::string PathWithoutExtension(const std::string& path);

// Text after the last '.', or the whole path when it has no '.'.
std::string PathExtension(const std::string& path);

// Text after the last '/', or the whole path when it has no '/'.
std::string FileNameOfPath(const std::string& path);

// True when path names a regular file that can be opened for reading.
bool FileExists(const std::string& path);

// True when `text` ends with `ending`, letters compared ignoring case.
bool EndsWithIgnoringCase(const std::string& text, const std::string& ending);

// Creates and opens (write only, exclusively) a file beside `path` whose name
// no other file has, for writing a file whole before it takes the place of
// `path` by rename. Returns the descriptor and sets `temporaryPath`; -1 (with
// errno set) when no such file can be made.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath);

// Writes `text` as the whole of `path`, which it replaces only once all is
// written; a failed write leaves the old file and no other. False, with
// `error` ("cannot write PATH: why"), when it cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error);
