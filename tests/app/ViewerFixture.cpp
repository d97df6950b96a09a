#include "ViewerFixture.h"

#include <cctype>
#include <cmath>
#include <sstream>

#include "SceneGeometry.h"
#include "VolumeFormat.h"

namespace {

bool NamesExtension(const std::string& text, const std::string& extension) {
    for (size_t at = text.find(extension); at != std::string::npos; at = text.find(extension, at + 1)) {
        const size_t end = at + extension.size();
        if (end == text.size() || (text[end] != '.' && !std::isalnum(static_cast<unsigned char>(text[end]))))
            return true;
    }
    return false;
}

}  // namespace

std::string VolumeKindsMissingFrom(const std::string& text) {
    std::string missing;
    for (const CVolumeFormat& format : VolumeFormats()) {
        // A format with a kind's name is listed by it, the others by their extensions.
        std::vector<std::string> names(format.extensions.begin(), format.extensions.end());
        if (format.kindsText != nullptr) names = {format.kindsText};
        for (const std::string& name : names)
            if (!NamesExtension(text, name)) missing += (missing.empty() ? "" : " ") + name;
    }
    return missing;
}

void ShowSliceFaceOn(CViewer& viewer, CViewInterface& view, int slice) {
    viewer.SetSwitch(&CViewerState::m_showX, false);
    viewer.SetSwitch(&CViewerState::m_showY, false);
    viewer.SetVoxel({0, 0, slice});
    view.ShowCameraPreset(COrbitCamera::kShowXY);
    view.m_distance = 40.0;
}

CTool::CPointer PointerOver(const CViewer& viewer, const std::array<double, 3>& voxel, int width,
                            int height) {
    const std::optional<std::array<double, 2>> pixel =
        ProjectToWindow(viewer.View(), width, height, viewer.Grid().SceneOfVoxel(voxel));
    EXPECT_TRUE(pixel.has_value());
    if (!pixel) return {};
    return {static_cast<int>(std::lround((*pixel)[0])), static_cast<int>(std::lround((*pixel)[1])), width,
            height};
}

std::string ViewerTest::WriteVolume(const std::string& name, int x, int y, int z, int t, double pixelSize) {
    TviContents tvi =
        TviVolume(x, y, z, t, [](int xi, int yi, int zi, int ti) { return (xi + yi + zi + ti) % 200; });
    tvi.version = pixelSize > 0 ? 2 : 1;
    tvi.SetCalibration(pixelSize, pixelSize, pixelSize, 40.0);
    const std::string path = m_folder.File(name);
    EXPECT_TRUE(WriteTviFile(path, tvi));
    return path;
}

std::string ViewerTest::WriteMeshes(const std::string& name, const std::vector<std::string>& objects,
                                    double centre[3]) {
    std::ostringstream out;
    int first = 1;
    for (const std::string& object : objects) {
        out << "g " << object << "\n";
        for (const auto& [dx, dy] : {std::pair{-1, -1}, std::pair{2, -1}, std::pair{-1, 2}})
            out << "v " << centre[0] + dx << " " << centre[1] + dy << " " << centre[2] << "\n";
        out << "f " << first << " " << first + 1 << " " << first + 2 << "\n";
        first += 3;
    }
    const std::string path = m_folder.File(name);
    EXPECT_TRUE(WriteText(path, out.str()));
    return path;
}
