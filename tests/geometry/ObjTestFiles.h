#pragma once

#include <gtest/gtest.h>

#include <string>

#include "MeshSet.h"
#include "TempFolder.h"
#include "TestData.h"

// Writes `content` byte for byte to `name` in `folder`; returns its path.
inline std::string WriteTextFile(const TempFolder& folder, const std::string& name,
                                 const std::string& content) {
    EXPECT_TRUE(WriteText(folder.File(name), content));
    return folder.File(name);
}

// Loads `content` as an .obj file into `set`; returns what was printed.
inline std::string LoadObjText(CMeshSet& set, const std::string& content, bool* loaded = nullptr) {
    TempFolder folder;
    const std::string path = WriteTextFile(folder, "mesh.obj", content);
    testing::internal::CaptureStdout();
    const bool ok = set.LoadObj(path);
    if (loaded) *loaded = ok;
    return testing::internal::GetCapturedStdout();
}
