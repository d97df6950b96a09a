// The viewer where the volume has a place in the patient: label images put
// on its voxels by their geometry, --info's transform and positions, and the
// direction letters as they appear on the screen.

#include <GL/glu.h>
#include <gtest/gtest.h>
#include <nifti1.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "CommandTable.h"
#include "SceneGeometry.h"
#include "ViewerReport.h"
#include "LetterGlyphs.h"
#include "MeshSet.h"
#include "TimeVolume.h"
#include "OffscreenView.h"
#include "TestData.h"
#include "ViewerFixture.h"
#include "ViewerExports.h"

namespace {

using Rows = std::array<std::array<double, 4>, 3>;

// A NIfTI image of x x y x z voxels whose sform has `rows`; voxel (i, j, k)
// holds `value(i, j, k)`.
std::string WritePlacedImage(const TempFolder& folder, const std::string& name, int x, int y, int z,
                             const Rows& rows, const std::function<int(int, int, int)>& value) {
    std::vector<int16_t> values;
    for (int k = 0; k < z; ++k)
        for (int j = 0; j < y; ++j)
            for (int i = 0; i < x; ++i) values.push_back(static_cast<int16_t>(value(i, j, k)));
    NiftiContents nifti = NiftiVolume(x, y, z, 1, DT_INT16, values);
    nifti.SetPixelSizes(std::hypot(rows[0][0], rows[1][0], rows[2][0]), std::hypot(rows[0][1], rows[1][1], rows[2][1]),
                        std::hypot(rows[0][2], rows[1][2], rows[2][2]));
    nifti.sformCode = 1;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) nifti.srow[r][c] = rows[r][c];
    const std::string path = folder.File(name);
    EXPECT_TRUE(WriteNiftiFile(path, nifti));
    return path;
}

// An axial volume of 4 x 3 x 2 voxels of 2 x 2 x 5 mm, +i to the left, +j to
// the back, +k up (LPS, as DICOM stores images).
const Rows kVolumeRows = {{{-2, 0, 0, 30}, {0, -2, 0, 40}, {0, 0, 5, -10}}};

}  // namespace

TEST_F(ViewerTest, LabelImagesArePutOnTheVolumesVoxelsByTheirGeometry) {
    m_viewer.LoadVolumeFile(
        WritePlacedImage(m_folder, "volume.nii", 4, 3, 2, kVolumeRows, [](int, int, int) { return 1; }));
    ASSERT_EQ(m_viewer.Volume().SizeX(), 4);
    struct Case {
        const char* what;
        int size[3];
        Rows rows;
        // The label voxel (a, b, c) that lies on volume voxel (i, j, k), or none.
        std::function<std::array<int, 3>(int, int, int)> source;
    };
    const Case cases[] = {
        // Rows stored the other way round, as converters of DICOM series write them.
        {"rows flipped", {4, 3, 2}, {{{-2, 0, 0, 30}, {0, 2, 0, 36}, {0, 0, 5, -10}}},
         [](int i, int j, int k) { return std::array<int, 3>{i, 2 - j, k}; }},
        {"x and y swapped", {3, 4, 2}, {{{0, -2, 0, 30}, {-2, 0, 0, 40}, {0, 0, 5, -10}}},
         [](int i, int j, int k) { return std::array<int, 3>{j, i, k}; }},
        {"turned by 60 degrees about z", {4, 3, 2}, {{{-1, 1.732, 0, 30}, {-1.732, -1, 0, 40}, {0, 0, 5, -10}}},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_host.m_dialogs.m_messages.clear();
        const int before = m_viewer.Labels().Image().SizeX();
        // Each label voxel holds a label made of its own indices.
        m_viewer.LoadLabelFile(WritePlacedImage(m_folder, "labels.nii", c.size[0], c.size[1], c.size[2], c.rows,
                                                [](int a, int b, int cc) { return 1 + a + 4 * b + 16 * cc; }));
        if (!c.source) {
            ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
            const std::string& text = m_host.m_dialogs.m_messages[0].text;
            for (const char* words : {"4 x 3 x 2 voxels", "(orientation PRS)", "(orientation LPS)"})
                EXPECT_NE(text.find(words), std::string::npos) << words << " in: " << text;
            EXPECT_EQ(m_viewer.Labels().Image().SizeX(), before) << "the labels shown stay";
            continue;
        }
        ASSERT_TRUE(m_host.m_dialogs.m_messages.empty()) << m_host.m_dialogs.m_messages[0].text;
        const CLabelImage& labels = m_viewer.Labels().Image();
        ASSERT_EQ(labels.SizeX(), 4);
        ASSERT_EQ(labels.SizeY(), 3);
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 4; ++i) {
                    const std::array<int, 3> from = c.source(i, j, k);
                    const int label = static_cast<int>(labels.Values()[labels.FrameVoxels(0)[(k * 3 + j) * 4 + i]]);
                    EXPECT_EQ(label, 1 + from[0] + 4 * from[1] + 16 * from[2]) << "volume voxel " << i << j << k;
                }
    }
}

TEST_F(ViewerTest, InfoGivesTheTransformTheOrientationAndTheWorldPosition) {
    m_viewer.LoadVolumeFile(WritePlacedImage(m_folder, "volume.nii", 4, 3, 2, kVolumeRows,
                                             [](int i, int j, int k) { return 100 * k + 10 * j + i; }));
    // The position (2, 1, 1) is the file's voxel (4 - 1 - 2, 3 - 1 - 1, 1) = (1, 1, 1).
    m_viewer.Navigation().SetPosition(2, 1, 1);
    QJsonObject info = QJsonDocument::fromJson(QByteArray::fromStdString(CViewerReport(m_viewer).InfoJson())).object();
    QJsonObject volume = info["volume"].toObject();
    EXPECT_EQ(volume["orientation"], "LPS");
    EXPECT_EQ(volume["transform"].toArray(),
              (QJsonArray{QJsonArray{-2, 0, 0, 30}, QJsonArray{0, -2, 0, 40}, QJsonArray{0, 0, 5, -10},
                          QJsonArray{0, 0, 0, 1}}));
    EXPECT_EQ(info["voxel"].toArray(), (QJsonArray{1, 1, 1}));
    EXPECT_EQ(info["world_position"].toArray(), (QJsonArray{28, 38, -5}));
    EXPECT_EQ(info["value"], 111);
    EXPECT_NE(m_viewer.ReadoutText(m_viewer.FileVoxel()).find("RAS 28.0, 38.0, -5.0 mm   value 111"),
              std::string::npos)
        << m_viewer.ReadoutText(m_viewer.FileVoxel());

    // New pixel sizes lengthen the steps; origin and directions stay.
    SetPixelSizes(1, 4, 5);
    info = QJsonDocument::fromJson(QByteArray::fromStdString(CViewerReport(m_viewer).InfoJson())).object();
    EXPECT_EQ(info["volume"].toObject()["transform"].toArray()[1].toArray(), (QJsonArray{0, -4, 0, 40}));
    EXPECT_EQ(info["world_position"].toArray(), (QJsonArray{29, 36, -5}));

    // A .tvi says nothing of the patient.
    m_viewer.LoadVolumeFile(WriteVolume("plain.tvi", 4, 3, 2, 1));
    info = QJsonDocument::fromJson(QByteArray::fromStdString(CViewerReport(m_viewer).InfoJson())).object();
    EXPECT_TRUE(info["volume"].toObject()["transform"].isNull());
    EXPECT_TRUE(info["volume"].toObject()["orientation"].isNull());
    EXPECT_TRUE(info["world_position"].isNull());
}

// A one-voxel label's surface written in patient space lies round that
// voxel's place; the NIfTI export of the volume keeps the same place and
// says beside it where it came from.
TEST_F(ViewerTest, ExportsInPatientSpaceLieWhereTheirVoxelsAre) {
    // Steps of 2, 2 and 5 mm, turned by 60 degrees about z.
    const Rows rows = {{{-1, 1.7320508, 0, 30}, {-1.7320508, -1, 0, 40}, {0, 0, 5, -10}}};
    const std::string volume = WritePlacedImage(m_folder, "volume.nii", 6, 5, 4, rows, [](int, int, int) { return 7; });
    m_viewer.LoadVolumeFile(volume);
    m_viewer.LoadLabelFile(WritePlacedImage(m_folder, "labels.nii", 6, 5, 4, rows,
                                            [](int i, int j, int k) { return i == 2 && j == 3 && k == 1; }));
    ASSERT_GT(m_viewer.View().m_meshes.ObjectCount(), 0);
    CViewerExports(m_viewer).SetMeshesInPatientSpace(true);
    const std::string meshes = m_folder.File("meshes.obj");
    ASSERT_TRUE(CViewerExports(m_viewer).ExportMeshes(meshes));
    CMeshSet read;
    ASSERT_TRUE(read.LoadObj(meshes));
    const Vec3d centre = read.Centroid();
    // rows x (2, 3, 1): the voxel's centre.
    EXPECT_NEAR(centre.x, -1 * 2 + 1.7320508 * 3 + 30, 0.1);
    EXPECT_NEAR(centre.y, -1.7320508 * 2 - 1 * 3 + 40, 0.1);
    EXPECT_NEAR(centre.z, 5 * 1 - 10, 0.1);

    const std::string nifti = m_folder.File("out.nii.gz");
    ASSERT_TRUE(CViewerExports(m_viewer).SaveVolumeNifti(nifti));
    CTimeVolume back;
    ASSERT_TRUE(back.LoadFile(nifti, 1.0)) << back.LastError();
    ASSERT_TRUE(back.FileInfo().m_transform.has_value());
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(back.FileInfo().m_transform->Rows()[r][c], rows[r][c], 1e-4);
    EXPECT_EQ(back.Value(5, 4, 3, 0), 7.0);
    QFile sidecarFile(QString::fromStdString(m_folder.File("out.json")));
    ASSERT_TRUE(sidecarFile.open(QIODevice::ReadOnly));
    const QJsonObject sidecar = QJsonDocument::fromJson(sidecarFile.readAll()).object();
    EXPECT_EQ(sidecar["source"], QString::fromStdString(volume));
    EXPECT_TRUE(sidecar["trigger_times_ms"].isNull());
    EXPECT_TRUE(sidecar["series_uid"].isNull());
    EXPECT_FALSE(sidecar["program_version"].toString().isEmpty());
    EXPECT_EQ(sidecar["frame_time_ms"], m_viewer.State().m_frameTimeMs);

    // Without a geometry there is no patient space to write in.
    m_viewer.LoadVolumeFile(WriteVolume("plain.tvi", 6, 5, 4, 1));
    m_viewer.LoadGeometryFile(meshes);
    m_host.m_dialogs.m_messages.clear();
    EXPECT_FALSE(CViewerExports(m_viewer).ExportMeshes(m_folder.File("refused.obj")));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("no geometry"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("refused.obj")));
}

namespace {

// The pixels of a frame drawn offscreen, BGRA, bottom row first.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool IsLetter(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        return p[0] < 80 && p[1] > 200 && p[2] > 200;  // yellow
    }
    // Whether `letter` is drawn with its lower left corner near (x, y).
    bool HasGlyphNear(char letter, int x, int y) const {
        const auto* rows = CLetterGlyphs::Rows(letter);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                bool same = true;
                for (int r = 0; r < CLetterGlyphs::kHeight && same; ++r)
                    for (int c = 0; c < CLetterGlyphs::kWidth && same; ++c)
                        same = IsLetter(x + dx + c, y + dy + CLetterGlyphs::kHeight - 1 - r) ==
                               ((*rows)[static_cast<size_t>(r)][c] == '#');
                if (same) return true;
            }
        return false;
    }
};

}  // namespace

TEST_F(ViewerTest, DirectionLettersReadRightOnEveryPreset) {
    COffscreenView view;
    if (!view.Create(480, 480)) GTEST_SKIP() << "no offscreen OpenGL: " << view.ErrorText();
    CViewer viewer(view, m_host);
    // Voxels of 40 mm, so that the box fills much of the view from the camera's 800 mm.
    viewer.OpenStartupFile(WritePlacedImage(m_folder, "lps.nii", 8, 8, 8,
                                            {{{-40, 0, 0, 0}, {0, -40, 0, 0}, {0, 0, 40, 0}}},
                                            [](int, int, int) { return 100; }));
    ASSERT_EQ(viewer.Volume().SizeX(), 8);
    // The millimetre frame's +x runs along the file's columns (+i: L), its +y
    // against the rows (-j: A), its +z along the slices (+k: S).
    const char letters[3][2] = {{'R', 'L'}, {'P', 'A'}, {'I', 'S'}};
    const struct {
        int preset;
        bool seen[3];  // which lines are seen across, not end-on
    } presets[] = {{kCmdShowXY, {true, true, false}},
                   {kCmdShowXZ, {true, false, true}},
                   {kCmdShowYZ, {false, true, true}},
                   {kCmdShow3DRef, {true, true, true}}};
    for (const auto& p : presets) {
        viewer.Execute(p.preset);
        Frame frame;
        ASSERT_TRUE(view.ReadFrameBuffer(frame.width, frame.height, frame.pixels));
        GLdouble modelView[16], projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        const double* extent = view.m_extent;
        const std::array<double, 3> position = ScenePlanePlaces(view);
        for (int axis = 0; axis < 3; ++axis)
            for (int end = 0; end < 2; ++end) {
                double point[3] = {position[0], position[1], position[2]};
                const double margin = 0.08 * std::max({extent[0], extent[1], extent[2]});
                point[axis] = end == 0 ? -margin : extent[axis] + margin;
                double wx = 0, wy = 0, wz = 0;
                gluProject(point[0], point[1], point[2], modelView, projection, viewport, &wx, &wy, &wz);
                const int x = static_cast<int>(std::floor(wx)) - CLetterGlyphs::kWidth / 2;
                const int y = static_cast<int>(std::floor(wy)) - CLetterGlyphs::kHeight / 2;
                EXPECT_EQ(frame.HasGlyphNear(letters[axis][end], x, y), p.seen[axis])
                    << "axis " << axis << " end " << end << " at " << x << ", " << y;
            }

        // The mouse over the centre of a voxel of the plane seen face on
        // names that voxel: the ray through the pixel hits the plane there.
        const int fileVoxel[3] = {8 - 1 - viewer.State().m_x, 8 - 1 - viewer.State().m_y, viewer.State().m_z};
        for (int plane = 0; plane < 3; ++plane) {
            if (p.seen[plane] || !p.seen[(plane + 1) % 3] || !p.seen[(plane + 2) % 3]) continue;
            // On the plane across `plane`: its own index, and 1 and 6 on the others.
            int voxel[3] = {1, 6, 1};
            voxel[plane] = fileVoxel[plane];
            voxel[(plane + 1) % 3] = 6;
            const double point[3] = {(voxel[0] + 0.5) * 40, (8 - voxel[1] - 0.5) * 40, (voxel[2] + 0.5) * 40};
            double wx = 0, wy = 0, wz = 0;
            gluProject(point[0], point[1], point[2], modelView, projection, viewport, &wx, &wy, &wz);
            viewer.OnHover(wx, frame.height - wy, frame.width, frame.height);
            const std::string expected = "voxel " + std::to_string(voxel[0]) + ", " + std::to_string(voxel[1]) +
                                         ", " + std::to_string(voxel[2]);
            EXPECT_EQ(m_host.m_readout.rfind(expected, 0), 0u) << "plane " << plane << ": " << m_host.m_readout;
        }
    }
}
