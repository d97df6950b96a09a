#pragma once

#include <string>
#include <vector>

#include "PacsRequest.h"
#include "ViewerState.h"

class CViewer;
class CWorkspace;

// The command line: orvanta [OPTIONS] [FILE]. Options that write files make
// the run headless; the load takes the load settings (--saturation); the
// others set the viewer's state after loading, in the order given, in the
// window as well as headless. Every option with a value also takes the
// --option=value form.
struct CCommandLine {
    // One option with its parsed arguments.
    struct Option {
        std::string name;             // without the leading "--"
        std::vector<double> numbers;  // numeric arguments
        std::string text;             // a word argument (plane, view) or the output path
    };

    std::string file;
    // Set before loading: the drawing area, the saturation and the DICOM series.
    int width = 640;
    int height = 480;
    bool sizeGiven = false;
    double saturation = CViewerState::kDefaultSaturation;
    bool saturationGiven = false;
    std::string seriesChoice;
    bool quit = false;          // the window closes once it shows the loaded file
    std::vector<Option> state;    // applied after loading, in order
    std::vector<Option> outputs;  // --info, --snapshot ..., written in order
    bool help = false;
    bool version = false;
    CPacsRequest pacs;  // --pacs and its options: what to list or retrieve instead of a file

    bool Headless() const { return !outputs.empty(); }
    // True when an output draws the scene and so needs an OpenGL context.
    bool Draws() const;

    // Parses the arguments after the program name. False with `error` (one
    // line, for a usage error) when an option is unknown, lacks its argument
    // or has a malformed or out-of-range value.
    bool Parse(const std::vector<std::string>& arguments, std::string& error);

    // Every option's usage and help, from the same rows Parse reads.
    static std::string HelpText();

    // Gives the viewer the load settings, before it loads the file: one
    // load, so the state options after it keep their effect.
    void ApplyLoadSettings(CViewer& viewer) const;
    // Loads the file, with the load settings: a workspace (.orvanta) opens
    // whole, with --series, --saturation and --size given beside it taking
    // the place of its own.
    void OpenFile(CViewer& viewer) const;
    // The workspace named as the file, with those settings in it; false with
    // one line when it cannot be read.
    bool ReadWorkspace(CWorkspace& workspace, std::string& error) const;
    // Sets one state option on the viewer, as the matching commands would.
    static void ApplyState(const Option& option, CViewer& viewer);
    // Writes one output: 0 done, 1 failed (the viewer reported why), 2 a usage error.
    static int WriteOutput(const Option& option, CViewer& viewer);
};
