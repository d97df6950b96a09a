#include <gtest/gtest.h>

#include <QKeySequence>
#include <map>
#include <nifti1.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "CommandTable.h"
#include "ToolBox.h"
#include "ViewerFixture.h"
#include "ShownPlane.h"

TEST_F(ViewerTest, StartsWithTheDefaults) {
    const CViewerState& v = m_viewer.State();
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
    EXPECT_EQ(m_viewer.Navigation().LastFrameIndex(), -1);
}

TEST_F(ViewerTest, TitlesInBothForms) {
    m_viewer.LoadVolumeFile(WriteVolume("heart.tvi", 4, 4, 2, 1));
    m_viewer.Execute(kCmdPositionInfo);
    m_viewer.Navigation().SetPosition(128, 128, 5);
    m_viewer.Navigation().SetFrame(7);
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi - (x,y,z,t)=[128 128 5 07] - (az,el,d)=[-45 45 800]");
    m_viewer.Navigation().SetFrame(123);
    m_viewer.Execute(kCmdShowYZ);
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi - (x,y,z,t)=[128 128 5 123] - (az,el,d)=[90 0 800]");
    // Halves round away from zero.
    m_view.m_distance = 800.5;
    m_view.SetCameraAngles(-0.5 / 57.29577951308232, -2.5 / 57.29577951308232);
    EXPECT_NE(m_viewer.TitleText().find("(az,el,d)=[89 -3 801]"), std::string::npos) << m_viewer.TitleText();

    m_viewer.Execute(kCmdPositionInfo);
    double centre[3] = {1, 1, 1};
    m_viewer.LoadGeometryFile(WriteMeshes("heart.obj", {"lv-02", "lv-03", "rv-03", "lv-04"}, centre));
    m_viewer.Navigation().SetFrame(3);
    m_view.m_selectedObject = 1;
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi / heart.obj [rv-03]");
    m_view.m_selectedObject = 2;  // out of range for frame 3: no name
    EXPECT_EQ(m_viewer.TitleText(), "Orvanta - heart.tvi / heart.obj");
    m_viewer.UpdateTitle();
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.tvi / heart.obj");
}

TEST_F(ViewerTest, RefreshWithoutVolumeUploadsNothing) {
    m_viewer.Navigation().SetFrame(4);
    m_view.m_repaints = 0;
    m_viewer.Execute(kCmdWhiteBackground);
    EXPECT_TRUE(m_view.m_uploads.empty());
    EXPECT_EQ(m_view.m_meshFrame, 4);
    EXPECT_EQ(m_view.m_clear[0], 1.0);
    EXPECT_EQ(m_view.m_repaints, 1);
}

TEST_F(ViewerTest, LoadingAVolumeCentresThePositionAndUploadsThePlanes) {
    m_viewer.LoadVolumeFile(WriteVolume("scan.tvi", 16, 12, 10, 4, 2.0));
    EXPECT_EQ(m_viewer.State().m_x, 8);
    EXPECT_EQ(m_viewer.State().m_y, 6);
    EXPECT_EQ(m_viewer.State().m_z, 5);
    EXPECT_EQ(m_viewer.State().m_t, 0);
    EXPECT_EQ(m_viewer.State().m_pixelSizeX, 2.0);
    EXPECT_EQ(m_viewer.State().m_frameTimeMs, 40);
    EXPECT_EQ(m_viewer.State().m_fileTitle, "scan.tvi");
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

TEST_F(ViewerTest, AFailedLoadChangesNothingAndSaysWhy) {
    const std::string good = WriteVolume("scan.tvi", 8, 6, 4, 3, 2.0);
    m_viewer.LoadVolumeFile(good);
    m_viewer.Navigation().SetFrame(2);
    m_viewer.Navigation().SetPosition(3, m_viewer.State().m_y, m_viewer.State().m_z);
    SetPixelSizes(0.75, m_viewer.State().m_pixelSizeY, m_viewer.State().m_pixelSizeZ);
    WriteText(m_folder.File("bad.nii"), "not an image at all, but long enough to be looked at as one");
    const struct {
        std::string path, reason;
    } cases[] = {
        {m_folder.File("missing.tvi"), "cannot open"},
        {m_folder.File("bad.nii"), "too short for a NIfTI header"},
        {m_folder.File("missing.nii.gz"), "cannot open"},
    };
    for (const auto& test : cases) {
        m_host.m_dialogs.m_messages.clear();
        m_viewer.LoadVolumeFile(test.path);
        EXPECT_EQ(m_viewer.State().m_volumePath, good);
        EXPECT_EQ(m_viewer.Volume().SizeX(), 8);
        EXPECT_EQ(m_viewer.Volume().Frames(), 3);
        EXPECT_EQ(m_viewer.State().m_x, 3);
        EXPECT_EQ(m_viewer.State().m_t, 2);
        EXPECT_EQ(m_viewer.State().m_pixelSizeX, 0.75);
        EXPECT_EQ(m_host.m_title, "Orvanta - scan.tvi");
        EXPECT_EQ(m_host.m_waitCursors, 0);
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
        EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find(test.path), std::string::npos);
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find(test.reason), std::string::npos)
            << m_host.m_dialogs.m_messages[0].text;
    }
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
    int shownX = 0;
    for (const Case& c : cases) {
        m_host.m_dialogs.m_messages.clear();
        m_viewer.LoadVolumeFile(WriteVolume("big.tvi", c.x, c.y, c.z, 1));
        const std::string sizes =
            std::to_string(c.x) + " x " + std::to_string(c.y) + " x " + std::to_string(c.z);
        // A refused volume leaves the one shown before.
        if (c.shown) shownX = c.x;
        EXPECT_EQ(m_viewer.Volume().SizeX(), shownX) << sizes;
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
    m_viewer.LoadVolumeFile(WriteVolume("big.tvi", 40, 8, 4, 1));
    m_view.m_maxTextureSize = 64;
    m_view.m_uploads.clear();
    m_viewer.RefreshView();
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    for (const auto& upload : m_view.m_uploads) EXPECT_EQ(upload.width * upload.height, 0) << upload.plane;
}

TEST_F(ViewerTest, StartupFileExtensionsIgnoreCase) {
    const struct {
        std::string name, message;
    } cases[] = {
        {"scan.TVI", "Cannot load the time volume scan.TVI"},
        {"Scan.Nii", "Cannot load the NIfTI image Scan.Nii"},
        {"scan.NII.GZ", "Cannot load the NIfTI image scan.NII.GZ"},
        {"Scan.OBJ", "Cannot load the meshes from Scan.OBJ"},
        {"tvi", "Cannot load the time volume tvi"},  // a name without a dot is its own extension
        {"Scan.Stl", "Cannot load the meshes from Scan.Stl: it cannot be opened."},
        {"scan.GII", "Cannot load the meshes from scan.GII: it cannot be opened."},
        // Names that nothing opens get the list of everything that does.
        {"/data/scan", "Only "},
        {"scan.gz", "Only "},
    };
    for (const auto& test : cases) {
        m_host.m_dialogs.m_messages.clear();
        m_viewer.OpenStartupFile(test.name);
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u) << test.name;
        EXPECT_EQ(m_host.m_dialogs.m_messages[0].text.rfind(test.message, 0), 0u)
            << test.name << ": " << m_host.m_dialogs.m_messages[0].text;
        EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
        EXPECT_TRUE(m_viewer.State().m_volumePath.empty());
        if (test.message == "Only ") {
            const std::string& text = m_host.m_dialogs.m_messages[0].text;
            EXPECT_EQ(VolumeKindsMissingFrom(text), "") << text;
            EXPECT_NE(text.find(".obj, .stl, .ply, .vtp or .gii meshes can be loaded."), std::string::npos)
                << text;
        }
    }
    EXPECT_EQ(m_viewer.State().m_baseTitle, "Orvanta");
}

TEST_F(ViewerTest, NiftiFilesLoadWithTheirMeshesAndTheCalibrationTheyCarry) {
    double centre[3] = {3.2, 4.0, 10.0};
    WriteMeshes("heart.obj", {"lv-00"}, centre);
    NiftiContents c = NiftiVolume(8, 6, 4, 3, DT_INT16, std::vector<int16_t>(8 * 6 * 4 * 3, -5));
    c.xyztUnits = NIFTI_UNITS_MM | NIFTI_UNITS_MSEC;
    c.pixdim[1] = 0.8;
    c.pixdim[2] = 0.0;  // no y size: the one in use stays
    c.pixdim[3] = 5.0;
    c.pixdim[4] = 39.6;
    c.gzip = true;
    const std::string path = m_folder.File("Heart.NII.GZ");
    ASSERT_TRUE(WriteNiftiFile(path, c));
    std::filesystem::rename(m_folder.File("heart.obj"), m_folder.File("Heart.obj"));

    SetPixelSizes(m_viewer.State().m_pixelSizeX, 1.25, m_viewer.State().m_pixelSizeZ);
    m_viewer.Navigation().SetFrame(2);
    m_viewer.OnDropFiles({path});
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    EXPECT_EQ(m_viewer.State().m_volumePath, path);
    EXPECT_EQ(m_viewer.Volume().SizeZ(), 4);
    EXPECT_EQ(m_viewer.State().m_t, 0);
    EXPECT_FLOAT_EQ(m_viewer.State().m_pixelSizeX, 0.8f);
    EXPECT_EQ(m_viewer.State().m_pixelSizeY, 1.25);
    EXPECT_EQ(m_viewer.State().m_pixelSizeZ, 5.0);
    EXPECT_EQ(m_viewer.State().m_frameTimeMs, 40);
    EXPECT_EQ(m_viewer.State().m_geometryPath, m_folder.File("Heart.obj"));
    EXPECT_EQ(m_host.m_title, "Orvanta - Heart.NII.GZ / Heart.obj");
    EXPECT_GE(m_host.m_loadProgress.size(), 2u);
    EXPECT_EQ(m_host.m_loadProgress.back(), 1.0);

    // A frame time out of range leaves the one in use.
    c.pixdim[4] = 2000;
    c.xyztUnits = NIFTI_UNITS_MM | NIFTI_UNITS_SEC;
    c.gzip = false;
    ASSERT_TRUE(WriteNiftiFile(m_folder.File("slow.nii"), c));
    m_viewer.LoadVolumeFile(m_folder.File("slow.nii"));
    EXPECT_EQ(m_viewer.State().m_volumePath, m_folder.File("slow.nii"));
    EXPECT_EQ(m_viewer.State().m_frameTimeMs, 40);
}

TEST_F(ViewerTest, ANiftiImageShowsAsTheTviWithTheSameSamples) {
    const TviContents tvi = TviVolume(9, 7, 5, 3, [](int x, int y, int z, int t) {
        return (x * 977 + y * 131 + z * 3001 + t * 17) % 5000;
    });
    ASSERT_TRUE(WriteTviFile(m_folder.File("a.tvi"), tvi));
    ASSERT_TRUE(WriteNiftiFile(m_folder.File("a.nii"), NiftiOfTvi(tvi)));

    m_viewer.LoadVolumeFile(m_folder.File("a.tvi"));
    const std::vector<CRecordingView::Upload> fromTvi = m_view.m_uploads;
    m_view.m_uploads.clear();
    m_viewer.LoadVolumeFile(m_folder.File("a.nii"));
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    ASSERT_EQ(fromTvi.size(), 3u);
    for (size_t plane = 0; plane < 3; ++plane)
        EXPECT_EQ(m_view.m_uploads[plane].pixels, fromTvi[plane].pixels);
}

TEST_F(ViewerTest, TheCompanionMeshesPlaceThePosition) {
    double centre[3] = {20.4, 30.6, 45.0};
    WriteMeshes("heart.obj", {"lv-00", "lv-01"}, centre);
    m_viewer.LoadVolumeFile(WriteVolume("heart.tvi", 16, 16, 8, 2, 2.0));
    EXPECT_EQ(m_viewer.State().m_geometryPath, m_folder.File("heart.obj"));
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 2);
    // x runs against the mesh axis: X - trunc(trunc(20.4 + 0.5) / 2) = 16 - 10.
    EXPECT_EQ(m_viewer.State().m_x, 6);
    EXPECT_EQ(m_viewer.State().m_y, 15);  // trunc(31 / 2)
    EXPECT_EQ(m_viewer.State().m_z, 22);  // trunc(45 / 2): outside the volume, empty slices
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.tvi / heart.obj");
}

TEST_F(ViewerTest, MeshesWithoutVolumeMakeTheScene) {
    double centre[3] = {10.0, 20.0, 30.0};
    m_viewer.OpenStartupFile(WriteMeshes("heart.obj", {"lv-00", "lv-05"}, centre));
    EXPECT_EQ(m_host.m_title, "Orvanta - heart.obj / heart.obj");
    EXPECT_EQ(m_view.m_extent[0], 20.0);
    EXPECT_EQ(m_view.m_extent[2], 60.0);
    EXPECT_EQ(m_view.m_target[1], 20.0);
    EXPECT_FALSE(m_viewer.State().m_showX || m_view.m_showPlane[0] || m_view.m_showPlane[2]);
    EXPECT_EQ(m_view.m_slicePos[1], 0.5);
    EXPECT_EQ(m_viewer.State().m_x, -7);  // the negated index, as X = 0
    EXPECT_EQ(m_viewer.Navigation().LastFrameIndex(), 5);
    EXPECT_TRUE(m_view.m_uploads.empty());
}

TEST_F(ViewerTest, AnUnreadableMeshFileKeepsTheMeshesShown) {
    double centre[3] = {1, 2, 3};
    m_viewer.LoadGeometryFile(WriteMeshes("first.obj", {"a-00"}, centre));
    m_viewer.LoadGeometryFile(m_folder.File("missing.obj"));
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 1);
    EXPECT_EQ(m_viewer.State().m_geometryPath, m_folder.File("first.obj"));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_host.m_dialogs.m_messages[0].caption, "Error");
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("missing.obj"), std::string::npos);
    EXPECT_EQ(m_host.m_waitCursors, 0);
}

TEST_F(ViewerTest, DroppedFiles) {
    const std::string tvi = WriteVolume("a.tvi", 4, 4, 2, 1);
    m_viewer.OnDropFiles({tvi, tvi});
    EXPECT_TRUE(m_viewer.State().m_volumePath.empty()) << "two files are ignored";
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    m_viewer.OnDropFiles({m_folder.File("scan.png")});
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    const std::string& refusal = m_host.m_dialogs.m_messages[0].text;
    EXPECT_EQ(refusal.rfind("Only ", 0), 0u) << refusal;
    EXPECT_EQ(VolumeKindsMissingFrom(refusal), "") << refusal;
    EXPECT_NE(refusal.find(".obj, .stl, .ply, .vtp or .gii meshes can be drag'n'dropped."), std::string::npos)
        << refusal;
    m_viewer.OnDropFiles({tvi});
    EXPECT_EQ(m_viewer.State().m_volumePath, tvi);
    EXPECT_EQ(m_viewer.State().m_x, 2);
}

TEST_F(ViewerTest, LastFrameAndDisplayFrameFollowVolumeAndMeshes) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 2, 10));
    for (int frame = 0; frame <= 14; ++frame) m_view.m_meshes.AddObject(CMeshObject("m-" + std::to_string(frame)));
    EXPECT_EQ(m_viewer.Navigation().LastFrameIndex(), 14);
    m_viewer.Navigation().SetFrame(12);
    EXPECT_EQ(m_viewer.Navigation().DisplayFrame(), 9);
    m_viewer.Navigation().SetFrame(8);
    m_viewer.Navigation().SetLockedFrame(3);
    EXPECT_EQ(m_viewer.Navigation().DisplayFrame(), 3);
    m_view.m_uploads.clear();
    m_viewer.RefreshView();
    EXPECT_EQ(m_view.m_meshFrame, 8);
    // The XY plane uploaded is slice z = 1 of frame 3, not of frame 8.
    ASSERT_EQ(m_view.m_uploads.size(), 3u);
    const auto slice = [&](int frame) {
        const ShownPlane image(m_viewer.Volume().GetSlice(2, 1, frame, false));
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
    ASSERT_TRUE(m_viewer.Execute(kCmdGeometryInformation));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    const auto& message = m_host.m_dialogs.m_messages[0];
    EXPECT_EQ(message.caption, ": Geometry information");
    EXPECT_EQ(message.icon, CDialogService::Icon::kInformation);
    EXPECT_EQ(message.text,
              "Obj #00:  Basename=a\t Frame=00\t vertices=0\t triangles=0\t size = 0.00    \n"
              "Obj #01:  Basename=b\t Frame=01\t vertices=0\t triangles=0\t size = 0.00    \n"
              "Obj #02:  Basename=box\t Frame=02\t vertices=8\t triangles=0\t size = 4.90    \n");
    EXPECT_EQ(m_view.m_meshes.Object(2).m_vertices[0].x, 9.0) << "the report changes no object";
}

// The shown file cut short: drawing, playing and reading values go on, and
// the user hears once that the file changed.
TEST_F(ViewerTest, AShownFileCutShortIsToldOnceAndNeverEndsTheProgram) {
    const std::string path = WriteVolume("cut.tvi", 64, 48, 6, 4);
    m_viewer.LoadVolumeFile(path);
    ASSERT_EQ(m_viewer.Volume().SizeX(), 64);
    ASSERT_TRUE(m_host.m_dialogs.m_messages.empty());
    std::filesystem::resize_file(path, 5000);
    m_viewer.RefreshView();
    for (int step = 0; step < 6; ++step) m_viewer.Navigation().OnNextFrame();
    for (int z = 0; z < 6; ++z)
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const std::optional<double> value = m_viewer.ValueAt({x, y, z});
                if (value) {
                    EXPECT_TRUE(*value == 0.0 || *value == (x + y + z + m_viewer.State().m_t) % 200);
                }
            }
    m_viewer.RefreshView();
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("changed on disk"), std::string::npos)
        << m_host.m_dialogs.m_messages[0].text;
}

// Every key the window binds runs one thing: no command shares a key with
// another command or with a tool.
TEST(CommandKeys, NoKeyIsBoundTwice) {
    std::map<int, std::string> owner;
    const auto bind = [&owner](const QKeyCombination& key, const std::string& name) {
        const auto [at, added] = owner.emplace(key.toCombined(), name);
        EXPECT_TRUE(added) << QKeySequence(key).toString().toStdString() << " is bound to " << at->second
                           << " and to " << name;
    };
    for (const CCommand& command : CommandTable())
        for (const QKeyCombination& key : command.keys)
            bind(key, command.text != nullptr ? command.text : std::to_string(command.id));
    for (const CToolBox::CEntry& entry : CToolBox::Entries()) bind(entry.key, entry.menuText);
    EXPECT_GE(owner.size(), 60u);
}
