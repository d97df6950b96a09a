#include "PathUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "TempFolder.h"

TEST(PathUtils, PathWithoutExtensionCutsAtTheLastDot) {
    EXPECT_EQ(PathWithoutExtension("/data/scan.tvi"), "/data/scan");
    EXPECT_EQ(PathWithoutExtension("/data/scan.v2.tvi"), "/data/scan.v2");
    // The last dot may lie in a folder name.
    EXPECT_EQ(PathWithoutExtension("/data.old/scan"), "/data");
    EXPECT_EQ(PathWithoutExtension("scan"), "");
    EXPECT_EQ(PathWithoutExtension("scan."), "scan");
}

TEST(PathUtils, PathExtensionIsTheTextAfterTheLastDot) {
    EXPECT_EQ(PathExtension("scan.tvi"), "tvi");
    EXPECT_EQ(PathExtension("/a.b/scan.OBJ"), "OBJ");
    EXPECT_EQ(PathExtension("scan"), "scan");
    EXPECT_EQ(PathExtension("scan."), "");
}

TEST(PathUtils, FileNameOfPathIsTheTextAfterTheLastSlash) {
    EXPECT_EQ(FileNameOfPath("/data/scan.tvi"), "scan.tvi");
    EXPECT_EQ(FileNameOfPath("scan.tvi"), "scan.tvi");
    EXPECT_EQ(FileNameOfPath("/data/"), "");
    // A backslash is an ordinary file-name character here.
    EXPECT_EQ(FileNameOfPath("C:\\data\\scan.tvi"), "C:\\data\\scan.tvi");
}

TEST(PathUtils, FileExistsOnlyForReadableFiles) {
    TempFolder folder;
    const std::string file = folder.File("scan.tvi");
    std::ofstream(file) << "x";
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder.File("missing.tvi")));
    EXPECT_FALSE(FileExists(folder.Path().string()));
    EXPECT_FALSE(FileExists(""));

    chmod(file.c_str(), 0);
    // Root reads any file whatever its permissions.
    if (geteuid() != 0) {
        EXPECT_FALSE(FileExists(file));
    }
}
