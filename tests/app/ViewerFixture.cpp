#include "ViewerFixture.h"

#include <sstream>

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
