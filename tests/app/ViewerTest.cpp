#include <algorithm>
#include <cmath>

#include "CommandTable.h"
#include "ViewerFixture.h"

TEST_F(ViewerTest, StartsWithTheDefaults) {
    const CViewer& v = m_viewer;
    EXPECT_EQ(v.m_x + v.m_y + v.m_z + v.m_t, 0);
    EXPECT_EQ(v.m_lockedFrame, -1);
    EXPECT_EQ(v.m_contrast, 0.5);
    EXPECT_EQ(v.m_brightness, 0.5);
    EXPECT_EQ(v.m_saturation, 0.98);
    EXPECT_EQ(v.m_frameTimeMs, 55);
    EXPECT_EQ(v.m_pixelSizeX, 1.3671875);
    EXPECT_EQ(v.m_pixelSizeZ, 6.0);
    EXPECT_FALSE(v.m_playing || v.m_pingPongUp || v.m_pingPongDown || v.m_whiteBackground || v.m_positionInfo);
    EXPECT_TRUE(v.m_bilinear && v.m_showX && v.m_showY && v.m_showZ && v.m_boundingBox && v.m_drawGeometry);
    EXPECT_FALSE(v.m_clipGeometry || v.m_axes);
    EXPECT_EQ(v.m_sliceDragMode, 0);
    EXPECT_EQ(m_view.m_distance, 800.0);
    EXPECT_TRUE(m_view.m_showBoundingBox && m_view.m_drawGeometry);
    EXPECT_FALSE(m_view.m_showAxes || m_view.m_clipGeometry);
    EXPECT_EQ(v.LastFrameIndex(), -1);
}

TEST_F(ViewerTest, TitlesInBothForms) {
    m_viewer.m_fileTitle = "heart.tvi";
    m_viewer.m_positionInfo = true;
    m_viewer.m_x = 128;
    m_viewer.m_y = 128;
    m_viewer.m_z = 5;
    m_viewer.m_t = 7;
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi - (x,y,z,t)=[128 128 5 07] - (az,el,d)=[-45 45 800]");
    m_viewer.m_t = 123;
    m_viewer.OnShowYZ();
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi - (x,y,z,t)=[128 128 5 123] - (az,el,d)=[90 0 800]");
    // Halves round away from zero.
    m_view.m_distance = 800.5;
    m_view.SetCameraAngles(-0.5 / 57.29577951308232, -2.5 / 57.29577951308232);
    EXPECT_NE(m_viewer.TitleText().find("(az,el,d)=[89 -3 801]"), std::string::npos) << m_viewer.TitleText();

    m_viewer.m_positionInfo = false;
    m_viewer.m_geometryPath = "/data/heart.obj";
    m_viewer.m_t = 3;
    for (const char* name : {"lv-02", "lv-03", "rv-03", "lv-04"}) {
        CMeshObject object(name);
        m_view.m_meshes.AddObject(object);
    }
    m_view.m_selectedObject = 1;
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi / heart.obj [rv-03]");
    m_view.m_selectedObject = 2;  // out of range for frame 3: no name
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi / heart.obj");
    m_viewer.UpdateTitle();
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.tvi / heart.obj");
}

TEST_F(ViewerTest, RefreshWithoutVolumeUploadsNothing) {
    m_viewer.m_t = 4;
    m_viewer.m_whiteBackground = true;
    m_viewer.RefreshView();
    EXPECT_TRUE(m_view.m_uploads.empty());
    EXPECT_EQ(m_view.m_meshFrame, 4);
    EXPECT_EQ(m_view.m_clear[0], 1.0);
    EXPECT_EQ(m_view.m_repaints, 1);
}

TEST_F(ViewerTest, LoadingAVolumeCentresThePositionAndUploadsThePlanes) {
    m_viewer.LoadTviFile(WriteVolume("scan.tvi", 16, 12, 10, 4, 2.0));
    EXPECT_EQ(m_viewer.m_x, 8);
    EXPECT_EQ(m_viewer.m_y, 6);
    EXPECT_EQ(m_viewer.m_z, 5);
    EXPECT_EQ(m_viewer.m_t, 0);
    EXPECT_EQ(m_viewer.m_pixelSizeX, 2.0);
    EXPECT_EQ(m_viewer.m_frameTimeMs, 40);
    EXPECT_EQ(m_viewer.m_fileTitle, "scan.tvi");
    EXPECT_EQ(m_host.m_title, "Orvanta - scan.tvi");
    EXPECT_EQ(m_host.m_waitCursors, 0);
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    ASSERT_GE(m_host.m_loadProgress.size(), 2u);
    EXPECT_EQ(m_host.m_loadProgress.front(), 0.0);
    EXPECT_EQ(m_host.m_loadProgress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(m_host.m_loadProgress.begin(), m_host.m_loadProgress.end()));
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    // YZ: 12 x 10 resampled to 32 x 32; XZ: 16 x 10 to 16 x 32; XY as stored.
    EXPECT_EQ(m_view.m_uploads[0].width, 32);
    EXPECT_EQ(m_view.m_uploads[0].height, 32);
    EXPECT_EQ(m_view.m_uploads[1].width, 16);
    EXPECT_EQ(m_view.m_uploads[2].width, 16);
    EXPECT_EQ(m_view.m_uploads[2].height, 12);
    EXPECT_EQ(m_view.m_extent[0], 32.0);
    EXPECT_EQ(m_view.m_target[2], 10.0);
    EXPECT_DOUBLE_EQ(m_view.m_slicePos[0], 8.5 / 16);
}

TEST_F(ViewerTest, ABadVolumeLeavesAnEmptySceneAndSaysWhy) {
    m_viewer.m_t = 5;
    m_viewer.m_x = 3;
    m_viewer.LoadTviFile(m_folder.File("missing.tvi"));
    EXPECT_EQ(m_viewer.m_x, 0);
    EXPECT_EQ(m_viewer.m_t, 0);
    EXPECT_EQ(m_host.m_title, "Orvanta - missing.tvi");
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("missing.tvi"), std::string::npos);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("cannot open"), std::string::npos);
}

TEST_F(ViewerTest, VolumesTooLargeForTheTexturesAreRefused) {
    // This OpenGL holds textures of 64 pixels a side; the gathered planes
    // double any side that is not a power of two.
    m_view.m_maxTextureSize = 64;
    struct Case {
        int x, y, z;
        bool shown;
    };
    const Case cases[] = {{32, 8, 4, true},  {64, 64, 64, true}, {40, 8, 4, false},
                          {8, 33, 4, false}, {8, 8, 65, false},  {8, 8, 31, true}};
    for (const Case& c : cases) {
        m_host.m_dialogs.m_messages.clear();
        m_viewer.LoadTviFile(WriteVolume("big.tvi", c.x, c.y, c.z, 1));
        const std::string sizes =
            std::to_string(c.x) + " x " + std::to_string(c.y) + " x " + std::to_string(c.z);
        EXPECT_EQ(m_viewer.m_volume.m_sizeX, c.shown ? c.x : 0) << sizes;
        if (c.shown) {
            EXPECT_TRUE(m_host.m_dialogs.m_messages.empty()) << sizes;
            continue;
        }
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u) << sizes;
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("too large to show"), std::string::npos)
            << m_host.m_dialogs.m_messages[0].text;
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("at most 64"), std::string::npos);
    }

    // A volume already loaded that the textures cannot hold shows no planes
    // rather than asking OpenGL for textures it refuses.
    m_view.m_maxTextureSize = 0;
    m_viewer.LoadTviFile(WriteVolume("big.tvi", 40, 8, 4, 1));
    m_view.m_maxTextureSize = 64;
    m_view.m_uploads.clear();
    m_viewer.RefreshView();
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    for (const auto& upload : m_view.m_uploads) EXPECT_EQ(upload.width * upload.height, 0) << upload.plane;
}

TEST_F(ViewerTest, StartupFileExtensionsAreCaseSensitive) {
    for (const char* name : {"scan.TVI", "/data/scan", "Scan.OBJ"}) {
        m_host.m_dialogs.m_messages.clear();
        m_viewer.OpenStartupFile(name);
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u) << name;
        EXPECT_EQ(m_host.m_dialogs.m_messages[0].text, "Only .tvi files and .obj can be loaded.");
        EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
        EXPECT_TRUE(m_viewer.m_tviPath.empty());
    }
    // A name without a dot is its own extension: "tvi" is a time volume.
    m_viewer.OpenStartupFile("tvi");
    EXPECT_EQ(m_viewer.m_tviPath, "tvi");
    EXPECT_EQ(m_viewer.m_baseTitle, "Orvanta");
}

TEST_F(ViewerTest, TheCompanionMeshesPlaceThePosition) {
    double centre[3] = {20.4, 30.6, 45.0};
    WriteMeshes("heart.obj", {"lv-00", "lv-01"}, centre);
    m_viewer.LoadTviFile(WriteVolume("heart.tvi", 16, 16, 8, 2, 2.0));
    EXPECT_EQ(m_viewer.m_geometryPath, m_folder.File("heart.obj"));
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 2);
    // x runs against the mesh axis: X - trunc(trunc(20.4 + 0.5) / 2) = 16 - 10.
    EXPECT_EQ(m_viewer.m_x, 6);
    EXPECT_EQ(m_viewer.m_y, 15);  // trunc(31 / 2)
    EXPECT_EQ(m_viewer.m_z, 22);  // trunc(45 / 2): outside the volume, empty slices
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.tvi / heart.obj");
}

TEST_F(ViewerTest, MeshesWithoutVolumeMakeTheScene) {
    double centre[3] = {10.0, 20.0, 30.0};
    m_viewer.OpenStartupFile(WriteMeshes("heart.obj", {"lv-00", "lv-05"}, centre));
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.obj / heart.obj");
    EXPECT_EQ(m_view.m_extent[0], 20.0);
    EXPECT_EQ(m_view.m_extent[2], 60.0);
    EXPECT_EQ(m_view.m_target[1], 20.0);
    EXPECT_FALSE(m_viewer.m_showX || m_view.m_showPlane[0] || m_view.m_showPlane[2]);
    EXPECT_EQ(m_view.m_slicePos[1], 0.5);
    EXPECT_EQ(m_viewer.m_x, -7);  // the negated index, as X = 0
    EXPECT_EQ(m_viewer.LastFrameIndex(), 5);
    EXPECT_TRUE(m_view.m_uploads.empty());
}

TEST_F(ViewerTest, AnUnreadableMeshFileKeepsTheMeshesShown) {
    double centre[3] = {1, 2, 3};
    m_viewer.LoadGeometryFile(WriteMeshes("first.obj", {"a-00"}, centre));
    m_viewer.LoadGeometryFile(m_folder.File("missing.obj"));
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 1);
    EXPECT_EQ(m_viewer.m_geometryPath, m_folder.File("first.obj"));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("missing.obj"), std::string::npos);
    EXPECT_EQ(m_host.m_waitCursors, 0);
}

TEST_F(ViewerTest, DroppedFiles) {
    const std::string tvi = WriteVolume("a.tvi", 4, 4, 2, 1);
    m_viewer.OnDropFiles({tvi, tvi});
    EXPECT_TRUE(m_viewer.m_tviPath.empty()) << "two files are ignored";
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    m_viewer.OnDropFiles({m_folder.File("Scan.OBJ")});
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_host.m_dialogs.m_messages[0].text, "Only .tvi files and .obj can be drag'n'dropped.");
    m_viewer.OnDropFiles({tvi});
    EXPECT_EQ(m_viewer.m_tviPath, tvi);
    EXPECT_EQ(m_viewer.m_x, 2);
}

TEST_F(ViewerTest, LastFrameAndDisplayFrameFollowVolumeAndMeshes) {
    m_viewer.LoadTviFile(WriteVolume("v.tvi", 4, 4, 2, 10));
    for (int frame = 0; frame <= 14; ++frame) m_view.m_meshes.AddObject(CMeshObject("m-" + std::to_string(frame)));
    EXPECT_EQ(m_viewer.LastFrameIndex(), 14);
    m_viewer.m_t = 12;
    EXPECT_EQ(m_viewer.DisplayFrame(), 9);
    m_viewer.m_t = 8;
    m_viewer.m_lockedFrame = 3;
    EXPECT_EQ(m_viewer.DisplayFrame(), 3);
    m_view.m_uploads.clear();
    m_viewer.RefreshView();
    EXPECT_EQ(m_view.m_meshFrame, 8);
    // The XY plane uploaded is slice z = 1 of frame 3, not of frame 8.
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    const auto slice = [&](int frame) {
        const CSliceImage& image = m_viewer.m_volume.m_slices[1][static_cast<size_t>(frame)];
        return std::vector<uint8_t>(image.m_data, image.m_data + image.ByteCount());
    };
    EXPECT_EQ(m_view.m_uploads[2].pixels, slice(3));
    EXPECT_NE(m_view.m_uploads[2].pixels, slice(8));
}

TEST_F(ViewerTest, InformationReportListsEveryObject) {
    CMeshObject cube("box-02");
    for (int i = 0; i < 8; ++i) cube.m_vertices.push_back({i & 1 ? 11.0 : 9.0, i & 2 ? 6.0 : 4.0, i & 4 ? 1.0 : -1.0});
    m_view.m_meshes.AddObject(CMeshObject("a-00"));
    m_view.m_meshes.AddObject(CMeshObject("b-01"));
    m_view.m_meshes.AddObject(cube);
    m_viewer.m_geometryPath = "/data/heart.obj";
    ASSERT_TRUE(m_viewer.Execute(0x803A));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    const auto& message = m_host.m_dialogs.m_messages[0];
    EXPECT_EQ(message.caption, "/data/heart.obj: Geometry information");
    EXPECT_EQ(message.icon, CDialogService::Icon::kInformation);
    EXPECT_EQ(message.text,
              "Obj #00:  Basename=a\t Frame=00\t vertices=0\t triangles=0\t size = 0.00    \n"
              "Obj #01:  Basename=b\t Frame=01\t vertices=0\t triangles=0\t size = 0.00    \n"
              "Obj #02:  Basename=box\t Frame=02\t vertices=8\t triangles=0\t size = 4.90    \n");
    EXPECT_EQ(m_view.m_meshes.Object(2).m_vertices[0].x, 9.0) << "the report changes no object";
}
