// The quantities of the Curves panel: label volumes, closed-mesh volumes,
// ejection and the CSV table, against values worked out by hand or by formula.

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <functional>
#include <locale>
#include <numbers>

#include "CommandTable.h"
#include "Curves.h"
#include "MeshShapes.h"
#include "TextFormat.h"
#include "ViewerExports.h"
#include "ViewerFixture.h"

namespace {

// A 3 x 2 x 2 grid of two frames, counted by hand: label 1 has 4 voxels in
// frame 0 and 2 in frame 1, label 2 has 3 and 1. Voxels of 0.5 x 2 x 3 mm
// hold 3 mm^3, 0.003 ml.
CLabelImage HandCountedLabels() {
    const uint8_t values[] = {1, 1, 0, 0, 2, 0, 1, 0, 0, 2, 2, 1,   // frame 0
                              0, 1, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0};  // frame 1
    CLabelImage labels;
    std::string error;
    EXPECT_TRUE(labels.Assign(values, 3, 2, 2, 2, error)) << error;
    labels.m_pixelSize[0] = 0.5;
    labels.m_pixelSize[1] = 2.0;
    labels.m_pixelSize[2] = 3.0;
    return labels;
}

constexpr double kVoxelMl = 0.003;

// The meshes of `frames` frames named <stem>-<frame>, each made by `make`.
CMeshSet MeshLine(const std::string& stem, int frames,
                  const std::function<CMeshObject(const std::string&, int)>& make) {
    CMeshSet set;
    for (int frame = 0; frame < frames; ++frame)
        set.AddObject(make(stem + FormatText("-%02d", frame), frame));
    return set;
}

void ExpectEjection(const std::optional<CCurves::Ejection>& e, double edv, double esv, int ed, int es) {
    ASSERT_TRUE(e.has_value());
    EXPECT_NEAR(e->edvMl, edv, 1e-12);
    EXPECT_NEAR(e->esvMl, esv, 1e-12);
    EXPECT_NEAR(e->svMl, edv - esv, 1e-12);
    EXPECT_NEAR(e->efPercent, (edv - esv) / edv * 100.0, 1e-9);
    EXPECT_EQ(e->edFrame, ed);
    EXPECT_EQ(e->esFrame, es);
}

class CurvesTest : public ViewerTest {};

}  // namespace

TEST_F(CurvesTest, LabelVolumesAreHandCountedVoxelsTimesTheVoxelSize) {
    ASSERT_TRUE(m_viewer.ShowLabels(HandCountedLabels(), "hand.nii"));
    CCurves curves;
    curves.Compute(m_viewer);
    ASSERT_EQ(curves.Frames(), 2);
    ASSERT_EQ(curves.LabelLines().size(), 2u);
    const struct {
        int64_t label;
        double counts[2];
    } expected[] = {{1, {4, 2}}, {2, {3, 1}}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(curves.LabelLines()[i].label, expected[i].label);
        EXPECT_EQ(curves.LabelLines()[i].name, "label" + std::to_string(expected[i].label));
        for (size_t frame = 0; frame < 2; ++frame)
            EXPECT_NEAR(curves.LabelLines()[i].ml[frame], expected[i].counts[frame] * kVoxelMl, 1e-15);
    }

    // Label 1 from 0.012 down to 0.006 ml; label 2 from 0.009 to 0.003 ml,
    // which varies more against its mean and so is the automatic choice.
    std::string error;
    ExpectEjection(curves.LabelEjection(1, error), 4 * kVoxelMl, 2 * kVoxelMl, 0, 1);
    const std::optional<CCurves::Ejection> automatic = curves.LabelEjection(0, error);
    ExpectEjection(automatic, 3 * kVoxelMl, kVoxelMl, 0, 1);
    EXPECT_EQ(automatic->label, 2);
    EXPECT_TRUE(automatic->automatic);
    EXPECT_NEAR(automatic->efPercent, 200.0 / 3.0, 1e-9);

    // Doubling the x size doubles every volume.
    SetPixelSizes(1.0, 2.0, 3.0);
    curves.Compute(m_viewer);
    EXPECT_NEAR(curves.LabelLines()[0].ml[0], 8 * kVoxelMl, 1e-15);
}

TEST_F(CurvesTest, EjectionRefusesLabelsThatVanishAndLabelsThatAreAbsent) {
    // Label 5 lies in frame 0 only.
    const uint8_t values[] = {1, 5, 1, 0, 1, 1, 1, 0};
    CLabelImage labels;
    std::string error;
    ASSERT_TRUE(labels.Assign(values, 2, 2, 1, 2, error)) << error;
    for (double& size : labels.m_pixelSize) size = 10.0;
    CCurves curves;
    const double pixelSize[3] = {10, 10, 10};
    curves.Compute(labels, pixelSize, CMeshSet(), 2, 40);

    struct Case {
        int64_t label;
        const char* message;  // "" when it has an ejection
    };
    const Case cases[] = {{5, "no volume in frame 1"}, {9, "no label 9"}, {0, ""}, {1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        error.clear();
        const std::optional<CCurves::Ejection> ejection = curves.LabelEjection(c.label, error);
        EXPECT_EQ(ejection.has_value(), *c.message == '\0');
        if (*c.message != '\0') {
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
        // Label 5 varies most but cannot give one: the choice passes to label 1.
        if (ejection) ExpectEjection(ejection, 3.0, 2.0, 1, 0);
    }
    CCurves none;
    EXPECT_FALSE(none.LabelEjection(0, error).has_value());
    EXPECT_NE(error.find("no label image"), std::string::npos) << error;
}

TEST_F(CurvesTest, ClosedMeshLinesGiveTheEjectionOfABeatingSphere) {
    // r(t) = 10 + 3 cos(2 pi t / 12) mm: largest in frame 0, smallest in frame 6.
    const auto radius = [](int frame) {
        return 10.0 + 3.0 * std::cos(2.0 * std::numbers::pi * frame / 12.0);
    };
    CMeshSet meshes = MeshLine("ball", 12, [&](const std::string& name, int frame) {
        return IcosphereMesh(name, 3, radius(frame), {50, 50, 50});
    });
    // An open tube beside it has no volume; a box line misses frame 3.
    CMeshSet tubes = MeshLine("tube", 12, [](const std::string& name, int) {
        CMeshObject tube = BoxMesh(name, {0, 0, 0}, {1, 1, 1});
        tube.m_triangles.resize(8);
        return tube;
    });
    for (const CMeshObject& tube : tubes.Objects()) meshes.AddObject(tube);
    for (int frame = 0; frame < 12; ++frame)
        if (frame != 3) meshes.AddObject(BoxMesh(FormatText("box-%02d", frame), {0, 0, 0}, {10, 10, 10}));
    meshes.AddObject(BoxMesh("static", {0, 0, 0}, {1, 1, 1}));  // no frame: never shown, no line

    CCurves curves;
    const double pixelSize[3] = {1, 1, 1};
    curves.Compute(CLabelImage(), pixelSize, meshes, 12, 50);
    ASSERT_EQ(curves.MeshLines().size(), 2u);
    EXPECT_EQ(curves.OpenMeshes(), std::vector<std::string>{"tube"});
    const CCurves::Line& ball = curves.MeshLines()[0];
    EXPECT_EQ(ball.name, "ball");
    std::string error;
    const std::optional<CCurves::Ejection> ejection = CCurves::Eject(ball, error);
    ASSERT_TRUE(ejection.has_value()) << error;
    // The polyhedron's volume scales with r^3, so the fraction is the sphere's exactly.
    const double largest = std::pow(radius(0), 3), smallest = std::pow(radius(6), 3);
    EXPECT_NEAR(ejection->efPercent, (largest - smallest) / largest * 100.0, 1e-9);
    EXPECT_EQ(ejection->edFrame, 0);
    EXPECT_EQ(ejection->esFrame, 6);
    EXPECT_NEAR(ejection->edvMl, 4.0 / 3.0 * std::numbers::pi * largest / 1000.0, 0.02 * ejection->edvMl);

    const CCurves::Line& box = curves.MeshLines()[1];
    EXPECT_DOUBLE_EQ(box.ml[0], 1.0);
    EXPECT_TRUE(std::isnan(box.ml[3]));
    EXPECT_FALSE(CCurves::Eject(box, error).has_value());
    EXPECT_NE(error.find("frame 3"), std::string::npos) << error;
}

// A label's surfaces and a mesh file's objects are lines of their own,
// whatever the file calls its objects; a file's line that shares its name
// with a label's surfaces is renamed, the surfaces' line never is.
TEST_F(CurvesTest, MeshFileLinesNamedLikeLabelSurfacesStayApart) {
    // Objects (name, label value) and their lines' names, in set order.
    using Objects = std::vector<std::pair<const char*, int64_t>>;
    const std::pair<Objects, std::vector<std::string>> cases[] = {
        {{{"label1-00", 0}, {"label1-00", 1}}, {"label1_file", "label1"}},
        {{{"label1-00", 0}, {"label1_file-00", 0}, {"label1-00", 1}},
         {"label1_file2", "label1_file", "label1"}},
        {{{"label1-00", 0}, {"lv-00", 0}}, {"label1", "lv"}},
        {{{"lv-00", 0}, {"label1-00", 1}, {"label2-00", 2}}, {"lv", "label1", "label2"}},
    };
    for (const auto& [objects, names] : cases) {
        CMeshSet meshes;
        // Boxes of 1, 2, 3 ... ml in turn, so every line's volume says whose it is.
        for (size_t i = 0; i < objects.size(); ++i) {
            CMeshObject box =
                BoxMesh(objects[i].first, {0, 0, 0}, {10, 10, 10.0 * static_cast<double>(i + 1)});
            box.m_label = objects[i].second;
            meshes.AddObject(box);
        }
        std::vector<std::string> open;
        const std::vector<CCurves::Line> lines = CCurves::MeshVolumes(meshes, 1, open);
        ASSERT_EQ(lines.size(), objects.size()) << names.front();
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].name, names[i]);
            EXPECT_EQ(lines[i].surfaceOf, objects[i].second) << names[i];
            EXPECT_DOUBLE_EQ(lines[i].ml[0], static_cast<double>(i + 1)) << names[i];
        }
    }
}

// The label surfaces written as .obj and opened again beside the labels:
// the copies are a mesh file's lines, and the labels' own surfaces keep
// their volume instead of counting the copies as well.
TEST_F(CurvesTest, ExportedLabelSurfacesOpenedAgainDoNotAddToTheLabels) {
    ASSERT_TRUE(m_viewer.ShowLabels(HandCountedLabels(), m_folder.File("hand.nii")));
    CCurves before;
    before.Compute(m_viewer);
    ASSERT_EQ(before.MeshLines().size(), 2u);
    const std::string obj = m_folder.File("surfaces.obj");
    ASSERT_TRUE(CViewerExports(m_viewer).SaveGeometry(obj));
    m_viewer.LoadGeometryFile(obj);
    ASSERT_EQ(m_view.m_meshes.ObjectCount(), 8);

    CCurves after;
    after.Compute(m_viewer);
    const std::string csv = after.Csv();
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "frame,time_ms,label1_ml,label2_ml,label1_file_mesh_ml,label2_file_mesh_ml,label1_mesh_ml,"
              "label2_mesh_ml,value_at_position");
    ASSERT_EQ(after.MeshLines().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const CCurves::Line& line = after.MeshLines()[i];
        const CCurves::Line& label = before.MeshLines()[i % 2];
        EXPECT_EQ(line.surfaceOf, i < 2 ? 0 : static_cast<int64_t>(i - 1)) << line.name;
        for (size_t frame = 0; frame < 2; ++frame)
            EXPECT_NEAR(line.ml[frame], label.ml[frame], 1e-9) << line.name;
    }
}

// The table reads the same in a country that writes 0,5: numbers in C
// notation, whatever the locale the program runs in.
TEST_F(CurvesTest, CsvIsTheSameInACommaDecimalLocale) {
    CMeshSet meshes = MeshLine("cube,left", 2, [](const std::string& name, int frame) {
        return BoxMesh(name, {0, 0, 0}, {10.0 + frame * 10.0, 10, 10});
    });
    CCurves curves;
    const CLabelImage labels = HandCountedLabels();
    curves.Compute(labels, labels.m_pixelSize, meshes, 3, 37.5);
    const std::string expected =
        "frame,time_ms,label1_ml,label2_ml,\"cube,left_mesh_ml\",value_at_position\n"
        "0,0,0.012,0.009,1,\n"
        "1,37.5,0.006,0.003,2,\n"
        "2,75,,,,\n";
    EXPECT_EQ(curves.Csv(), expected);

    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale installed";
    const std::locale savedGlobal = std::locale::global(std::locale("de_DE.UTF-8"));
    const std::string german = curves.Csv();
    std::locale::global(savedGlobal);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(german, expected);
}

TEST_F(CurvesTest, SaveCurvesAsCsvWritesTheNameChosen) {
    ASSERT_TRUE(m_viewer.ShowLabels(HandCountedLabels(), m_folder.File("hand.nii")));
    const std::string path = m_folder.File("chosen.csv");
    m_host.m_dialogs.m_fileAnswers.push_back(path);
    ASSERT_TRUE(m_viewer.Execute(kCmdSaveCurvesCsv));
    ASSERT_EQ(m_host.m_dialogs.m_fileRequests.size(), 1u);
    EXPECT_EQ(m_host.m_dialogs.m_fileRequests[0].defaultExtension, "csv");
    const std::vector<uint8_t> bytes = ReadBytes(path);
    // The label surfaces follow as mesh lines.
    const std::string csv(bytes.begin(), bytes.end());
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "frame,time_ms,label1_ml,label2_ml,label1_mesh_ml,label2_mesh_ml,value_at_position");
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
}

// A mesh name may carry any frame number: the table stops at its limit.
TEST_F(CurvesTest, FrameNumbersUpToTheLargestIntStayWithinTheTable) {
    double centre[3] = {5, 5, 5};
    m_viewer.LoadGeometryFile(WriteMeshes("far.obj", {"far-2147483647", "near-00"}, centre));
    ASSERT_EQ(m_view.m_meshes.ObjectCount(), 2);
    CCurves curves;
    curves.Compute(m_viewer);
    EXPECT_EQ(curves.Frames(), CCurves::kMaxFrames);
    EXPECT_TRUE(curves.MeshLines().empty());
    EXPECT_EQ(curves.OpenMeshes(), std::vector<std::string>{"near"});
    const std::string csv = curves.Csv();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), CCurves::kMaxFrames + 1);
}

// The time-intensity curve at the position, in the file's units, and the
// mean value inside each label: voxels hold x + y + z + t.
TEST_F(CurvesTest, ValuesAtThePositionAndMeansInsideLabelsFollowTheFrames) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 3, 2, 3, 1.0));
    // Label 1 on the file's voxels (0, 0, 0) and (1, 0, 0), label 4 on (3, 2, 1).
    const std::vector<uint8_t> values = LabelValues(4, 3, 2, 1, [](int x, int y, int z, int) {
        if (y == 0 && z == 0 && x <= 1) return 1;
        return x == 3 && y == 2 && z == 1 ? 4 : 0;
    });
    CLabelImage labels;
    std::string error;
    ASSERT_TRUE(labels.Assign(values.data(), 4, 3, 2, 1, error)) << error;
    ASSERT_TRUE(m_viewer.ShowLabels(std::move(labels), "l.nii"));
    m_viewer.Navigation().SetPosition(0, 0, 1);  // the planes count x and y the other way: the file's voxel (3, 2, 1)
    CCurves curves;
    curves.Compute(m_viewer);
    EXPECT_EQ(curves.ValueLine().ml, (std::vector<double>{6, 7, 8}));
    EXPECT_TRUE(curves.MeanLines().empty());

    curves.ComputeValues(m_viewer, true);
    ASSERT_EQ(curves.MeanLines().size(), 2u);
    EXPECT_EQ(curves.MeanLines()[0].name, "label1_mean");
    EXPECT_EQ(curves.MeanLines()[0].ml, (std::vector<double>{0.5, 1.5, 2.5}));
    EXPECT_EQ(curves.MeanLines()[1].ml, (std::vector<double>{6, 7, 8}));

    m_viewer.Navigation().SetPosition(1, 2, 0);  // the file's voxel (2, 0, 0)
    curves.ComputeValues(m_viewer, false);
    EXPECT_EQ(curves.ValueLine().ml, (std::vector<double>{2, 3, 4}));
    EXPECT_TRUE(curves.MeanLines().empty());
    const std::string csv = curves.Csv();
    const size_t row = csv.find("\n1,40,");
    ASSERT_NE(row, std::string::npos) << csv;
    EXPECT_EQ(csv.substr(csv.find('\n', row + 1) - 2, 2), ",3") << csv;
}
