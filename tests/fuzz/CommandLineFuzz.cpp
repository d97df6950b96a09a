// The input is an argument list, the arguments separated by NUL bytes. What
// parses is applied to a viewer holding a small volume and its meshes, as the
// window does after loading; the view only records that it was asked to draw.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CheckingView.h"
#include "CommandLine.h"
#include "FuzzInput.h"
#include "HeadlessHost.h"
#include "TestData.h"
#include "TviWriter.h"
#include "Viewer.h"

namespace {

constexpr size_t kMaxArguments = 32;

// A 5 x 4 x 3 volume of 2 frames with a companion .obj of two frames.
std::string WriteStartupFiles() {
    const TviContents contents = TviVolume(5, 4, 3, 2, [](int x, int y, int z, int t) {
        return static_cast<uint16_t>((((z * 2 + t) * 4 + y) * 5 + x) * 37);
    });
    const std::string path = ScratchPath("volume.tvi");
    FuzzCheck(WriteTviFile(path, contents), "writing the volume");
    const std::string meshes =
        "g a-00\nv 0 0 0\nv 4 0 0\nv 0 3 2\nf 1 2 3\ng a-01\nv 1 1 1\nv 2 1 1\nv 1 2 1\nf 4 5 6\n";
    WriteScratchFile("volume.obj", reinterpret_cast<const uint8_t*>(meshes.data()), meshes.size());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string volumePath = WriteStartupFiles();

    const std::vector<std::string> arguments = SplitInput(data, size, std::string(1, '\0'), kMaxArguments);
    CCommandLine commandLine;
    std::string error;
    if (!commandLine.Parse(arguments, error)) {
        FuzzCheck(!error.empty(), "a refused command line says why");
        return 0;
    }
    FuzzCheck(error.empty(), "an accepted command line reports an error");
    FuzzCheck(commandLine.width >= 1 && commandLine.height >= 1 && commandLine.width <= 8192 &&
                  commandLine.height <= 8192,
              "a drawing size outside 1..8192");

    CCheckingView view;
    CHeadlessHost host;
    CViewer viewer(view, host);
    // As the program runs it: the load settings go with the load, the state after it.
    commandLine.ApplyLoadSettings(viewer);
    viewer.OpenStartupFile(volumePath);
    for (const CCommandLine::Option& option : commandLine.state) CCommandLine::ApplyState(option, viewer);
    viewer.RefreshView();
    return 0;
}
