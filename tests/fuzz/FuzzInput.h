#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Helpers shared by the fuzz targets.

// Writes `size` bytes to `path`, replacing the file; aborts when that fails,
// since a target that cannot write its input would test nothing.
void WriteInputFile(const std::string& path, const uint8_t* data, size_t size);

// The path of `name` in the run's own temporary folder, which goes when the
// process ends.
std::string ScratchPath(const std::string& name);

// Writes the input as file `name` of the scratch folder and returns its path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The input cut at every occurrence of `separator` into at most `maxPieces`
// pieces (the last takes the rest), so one input can stand for several files
// or arguments.
std::vector<std::string> SplitInput(const uint8_t* data, size_t size, const std::string& separator,
                                    size_t maxPieces);

// Ends the run as a finding (libFuzzer saves the input) when `condition` is false.
void FuzzCheck(bool condition, const char* what);

// Reads every byte (and every value) so the sanitizers check the whole buffer
// and the compiler cannot drop the computation that made it.
void Consume(const uint8_t* bytes, size_t count);
void Consume(double value);
