#pragma once

#include <functional>
#include <memory>
#include <string>

#include "LoadedCodes.h"
#include "SampleSource.h"

// Reads what one source serves into a CLoadedCodes: every code counted once
// for the saturation level, and kept where it lies. A source whose file holds
// its codes as they are lends the file's own pages, and one that decoded them
// into memory of its own lends that, so nothing is copied; any other has its
// codes written into one buffer, in the volume's order.
class CVolumeLoader {
public:
    using Progress = std::function<void(double fraction)>;

    // How the codes are kept.
    enum class EKeep {
        kLent,    // what the source lends (the file's own pages, its decoded codes), else a buffer
        kBuffer,     // always a buffer of codes (to compare the two)
    };

    // The source's images, shown at the `saturation` fraction of its samples.
    // Null, with `error` set, when the samples cannot be had; throws
    // std::bad_alloc when the memory cannot. The source must hold samples.
    static std::unique_ptr<CLoadedCodes> Load(CSampleSource& source, double saturation,
                                              const Progress& progress, std::string& error,
                                              EKeep keep = EKeep::kLent);
};
