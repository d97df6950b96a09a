#pragma once

#include <string>

class CViewer;

// The Curves panel's content as files: the table of every curve as CSV,
// and the chart as a PNG or SVG picture drawn without OpenGL. Each reports
// its own failure through the viewer's dialogs and returns false then; a
// file is replaced only by a complete one.
class CCurvesExport {
public:
    static bool SaveCsv(CViewer& viewer, const std::string& path);
    // The chart at width x height pixels, in the format of the extension
    // (.png or .svg, any case).
    static bool SavePlot(CViewer& viewer, const std::string& path, int width, int height);
    // Whether SavePlot writes pictures of this name's extension.
    static bool IsPlotName(const std::string& path);
    // Charts are widgets of a scene and need an application with fonts; a
    // run without a window has none, so this makes one on the offscreen
    // platform, which needs no display. Nothing where one exists.
    static void EnsureApplication();
};
