#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "Viewer.h"

// A viewer drawing offscreen, as headless runs do, for the benchmarks that
// time what the viewer does with a view.
struct OffscreenViewer {
    COffscreenView view;
    CHeadlessHost host;
    CViewer viewer{view, host};

    // Makes a 640 x 480 view and opens `path`; false, with the benchmark
    // skipped and why, when there is no view.
    bool Open(benchmark::State& state, const std::string& path) {
        if (!view.Create(640, 480)) {
            state.SkipWithError(view.ErrorText().c_str());
            return false;
        }
        viewer.OpenStartupFile(path);
        return true;
    }
};
