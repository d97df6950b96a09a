#include "ViewerFixture.h"

#include <fstream>

std::string ViewerTest::WriteVolume(const std::string& name, int x, int y, int z, int t, double pixelSize) {
    TviContents tvi;
    tvi.version = pixelSize > 0 ? 2 : 1;
    tvi.sizeX = x;
    tvi.sizeY = y;
    tvi.sizeZ = z;
    tvi.frames = t;
    tvi.pixelSizeX = tvi.pixelSizeY = tvi.pixelSizeZ = pixelSize;
    tvi.frameTime = 40.0;
    tvi.Allocate();
    for (int zi = 0; zi < z; ++zi)
        for (int ti = 0; ti < t; ++ti)
            for (int yi = 0; yi < y; ++yi)
                for (int xi = 0; xi < x; ++xi) tvi.At(xi, yi, zi, ti) = static_cast<uint16_t>((xi + yi + zi + ti) % 200);
    const std::string path = m_folder.File(name);
    EXPECT_TRUE(WriteTviFile(path, tvi));
    return path;
}

std::string ViewerTest::WriteMeshes(const std::string& name, const std::vector<std::string>& objects,
                                    double centre[3]) {
    const std::string path = m_folder.File(name);
    std::ofstream out(path);
    int first = 1;
    for (const std::string& object : objects) {
        out << "g " << object << "\n";
        out << "v " << centre[0] - 1 << " " << centre[1] - 1 << " " << centre[2] << "\n";
        out << "v " << centre[0] + 2 << " " << centre[1] - 1 << " " << centre[2] << "\n";
        out << "v " << centre[0] - 1 << " " << centre[1] + 2 << " " << centre[2] << "\n";
        out << "f " << first << " " << first + 1 << " " << first + 2 << "\n";
        first += 3;
    }
    return path;
}
