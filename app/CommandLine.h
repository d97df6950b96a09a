#pragma once

#include <string>
#include <vector>

class CViewer;

// The command line: orvanta [OPTIONS] [FILE]. Options that write files make
// the run headless; the others set the viewer's state after loading, in the
// order given, in the window as well as headless.
struct CCommandLine {
    // One option with its parsed arguments.
    struct Option {
        std::string name;             // without the leading "--"
        std::vector<double> numbers;  // numeric arguments
        std::string text;             // a word argument (plane, view) or the output path
    };

    std::string file;
    std::string series;  // --series: which series of a DICOM folder loads
    int width = 640;
    int height = 480;
    bool sizeGiven = false;
    std::vector<Option> state;    // applied after loading, in order
    std::vector<Option> outputs;  // info, snapshot, save-plane, export-avi, in order
    bool help = false;
    bool version = false;

    bool Headless() const { return !outputs.empty(); }

    // Parses argv. False with `error` (one line, for a usage error) when an
    // option is unknown, lacks its argument or has a malformed or
    // out-of-range number.
    bool Parse(const std::vector<std::string>& arguments, std::string& error);

    static const char* HelpText();

    // Sets one state option on the viewer, as the matching commands would.
    static void ApplyState(const Option& option, CViewer& viewer);
};
