// Until the window exists, orvanta loads the named .tvi file and prints what
// it holds, so the loading path can be tried from the shell.

#include <algorithm>
#include <cstdio>
#include <string>

#include "TimeVolume.h"

int main(int argc, char** argv) {
    std::string path;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            path = argv[i];
            break;
        }
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: orvanta FILE.tvi\n");
        return 2;
    }
    constexpr double kSaturation = 0.98;
    CTimeVolume volume;
    if (!volume.LoadTvi(path, kSaturation)) {
        std::fprintf(stderr, "orvanta: cannot load %s: %s\n", path.c_str(), volume.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    std::printf("  size          %d x %d x %d slices x %d frames\n", volume.m_sizeX, volume.m_sizeY,
                volume.m_sizeZ, volume.m_frames);
    std::printf("  pixel size    %g x %g x %g mm\n", volume.m_pixelSizeX, volume.m_pixelSizeY,
                volume.m_pixelSizeZ);
    std::printf("  frame time    %g ms\n", volume.m_frameTime);
    std::printf("  saturation    %g %% -> level %u\n", kSaturation * 100, volume.m_saturationLevel);
    if (volume.m_sizeX > 0) {
        // A small grey-level sketch of the middle slice of frame 0.
        const CSliceImage slice = volume.GetSlice(2, volume.m_sizeZ / 2, 0, false);
        const char* shades = " .:-=+*#%@";
        const int step = std::max(1, slice.m_width / 48);
        for (int y = 0; y < slice.m_height; y += step * 2) {
            std::printf("  ");
            for (int x = 0; x < slice.m_width; x += step)
                std::putchar(shades[slice.m_data[y * slice.m_width + x] * 10 / 256]);
            std::putchar('\n');
        }
    }
    return 0;
}
