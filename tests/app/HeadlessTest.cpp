// The command line's headless runs, through the real executable with no
// display, compared with what the viewer's own commands write.

#include <gtest/gtest.h>
#include <nifti1.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <set>
#include <tuple>

#include "CardiacPhantom.h"
#include "ColourMap.h"
#include "CommandLine.h"
#include "LabelFile.h"
#include "MovieTools.h"
#include "OffscreenView.h"
#include "PathUtils.h"
#include "PhantomStudy.h"
#include "PngReader.h"
#include "ViewerExports.h"
#include "ViewerFixture.h"
#include "VolumeFormat.h"

namespace {

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override {
        TviContents tvi = TviVolume(24, 16, 6, 3);
        tvi.SetCalibration(2.0, 2.0, 5.0, 40);
        for (size_t i = 0; i < tvi.samples.size(); ++i) tvi.samples[i] = static_cast<uint16_t>((i * 7) % 300);
        m_tvi = m_folder.File("scan.tvi");
        ASSERT_TRUE(WriteTviFile(m_tvi, tvi));
        ASSERT_TRUE(WriteText(m_folder.File("scan.obj"),
                              "g lv-00\nv 10 10 10\nv 30 10 10\nv 10 20 15\nf 1 2 3\n"
                              "g lv-01\nv 10 10 10\nv 30 10 10\nv 10 20 15\nf 4 5 6\n"
                              "g lv-02\nv 10 10 10\nv 30 10 10\nv 10 20 15\nf 7 8 9\n"));
    }
    // Runs orvanta with `arguments` and no display; returns its standard
    // output. With `command` the arguments start with the program itself
    // (after any variable settings).
    std::string Run(const std::string& arguments, int& status, std::string* errors = nullptr,
                    bool command = false) {
        const std::string errorFile = m_folder.File("stderr.txt");
        const std::string program = command ? "" : "'" ORVANTA_EXE "' ";
        const std::string output =
            RunCommand("cd '" + m_folder.Path().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                           program + arguments + " 2> '" + errorFile + "'",
                       &status);
        if (errors != nullptr) {
            const std::vector<uint8_t> bytes = ReadBytes(errorFile);
            *errors = std::string(bytes.begin(), bytes.end());
        }
        return output;
    }

    TempFolder m_folder;
    std::string m_tvi;
};

// The object of --info output, which must parse as JSON.
QJsonObject ParseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << " in " << text;
    EXPECT_TRUE(document.isObject()) << text;
    return document.object();
}

// The same state set in-process through the viewer's commands.
class InProcess {
public:
    explicit InProcess(const std::string& tvi) : m_viewer(m_view, m_host) {
        m_ready = m_view.Create(640, 480);
        m_viewer.OpenStartupFile(tvi);
    }
    bool m_ready;
    CTestHost m_host;
    COffscreenView m_view;
    CViewer m_viewer;
};

}  // namespace

TEST_F(HeadlessTest, InfoDescribesTheLoadedData) {
    int status = -1;
    const std::string json = Run("--info --frame 2 scan.tvi", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << "one JSON object on one line";
    const QJsonObject info = ParseJson(json);
    const QJsonObject volume = info["volume"].toObject();
    const QJsonObject meshes = info["meshes"].toObject();
    EXPECT_EQ(volume["size"].toArray(), (QJsonArray{24, 16, 6}));
    EXPECT_EQ(volume["frames"], 3);
    EXPECT_EQ(volume["pixel_size_mm"].toArray(), (QJsonArray{2, 2, 5}));
    EXPECT_EQ(volume["frame_time_ms"], 40);
    EXPECT_EQ(volume["saturation"], 0.98);
    EXPECT_TRUE(volume["path"].toString().endsWith("scan.tvi"));
    EXPECT_EQ(meshes["objects"], 3);
    EXPECT_EQ(meshes["last_frame"], 2);
    EXPECT_EQ(meshes["vertices"], 9);
    EXPECT_EQ(meshes["triangles"], 3);
    EXPECT_TRUE(meshes["path"].toString().endsWith("scan.obj"));
    EXPECT_EQ(info["frame"], 2);
    EXPECT_EQ(info["last_frame_index"], 2);

    const QJsonObject meshesOnly = ParseJson(Run("--info scan.obj", status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(meshesOnly["volume"].toObject()["path"].isNull());
    EXPECT_EQ(meshesOnly["volume"].toObject()["size"].toArray(), (QJsonArray{0, 0, 0}));
    for (const char* field : {"format", "datatype", "value_range"})
        EXPECT_TRUE(meshesOnly["volume"].toObject()[field].isNull()) << field;
    EXPECT_TRUE(meshesOnly["voxel"].isNull()) << "no file to number the voxel by";
}

TEST_F(HeadlessTest, InfoIsValidJsonWhateverBytesThePathHas) {
    // A folder named with bytes that are not UTF-8, and characters JSON must escape.
    const std::string folder = m_folder.File("scan\xff\xfe \"quoted\" \\ tab\t");
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(m_tvi, folder + "/scan.tvi");
    int status = -1;
    const std::string json = Run("--info '" + folder + "/scan.tvi'", status);
    ASSERT_EQ(status, 0);
    const QString path = ParseJson(json)["volume"].toObject()["path"].toString();
    EXPECT_TRUE(path.endsWith(QString::fromUtf8("scan\xef\xbf\xbd\xef\xbf\xbd \"quoted\" \\ tab\t/scan.tvi")))
        << path.toStdString();
}

TEST_F(HeadlessTest, OptionsTakeTheirValueAfterAnEqualsSign) {
    int status = -1;
    const QJsonObject info =
        ParseJson(Run("--size=320x240 --frame=1 --position=3,4,5 --info scan.tvi --save-plane=xz plane.png "
                      "--hide-planes=x",
                      status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(info["frame"], 1);
    EXPECT_EQ(info["position"].toArray(), (QJsonArray{3, 4, 5}));
    EXPECT_EQ(ReadPng(m_folder.File("plane.png")).width, 24u);
    // A value that looks like an option is still the value.
    EXPECT_EQ(ParseJson(Run("--frame -1 --info scan.tvi", status))["frame"], -1);
    EXPECT_EQ(status, 0);
    EXPECT_NE(ParseJson(Run("--info -- scan.tvi", status))["volume"].toObject()["path"], QJsonValue::Null);
}

TEST_F(HeadlessTest, TheSaturationTakesPartInTheOneLoad) {
    // In any order, the saturation does not undo the state options before it.
    for (const char* arguments :
         {"--frame 2 --position 10,10,2 --saturation 50 --info scan.tvi",
          "--saturation 50 --frame 2 --position 10,10,2 --info scan.tvi",
          "--saturation=70 --frame 2 --saturation 50 --position 10,10,2 --info scan.tvi"}) {
        int status = -1;
        const QJsonObject info = ParseJson(Run(arguments, status));
        EXPECT_EQ(status, 0) << arguments;
        EXPECT_EQ(info["frame"], 2) << arguments;
        EXPECT_EQ(info["position"].toArray(), (QJsonArray{10, 10, 2})) << arguments;
        EXPECT_EQ(info["volume"].toObject()["saturation"], 0.5) << arguments;
    }
    // The level follows the saturation: the samples run 0..299 evenly.
    int status = -1;
    const int half = ParseJson(Run("--saturation 50 --info scan.tvi", status))["volume"]
                         .toObject()["saturation_level"]
                         .toInt();
    const int most =
        ParseJson(Run("--info scan.tvi", status))["volume"].toObject()["saturation_level"].toInt();
    EXPECT_LT(half, most);
    EXPECT_NEAR(half, 150, 5);
}

TEST_F(HeadlessTest, QuitClosesTheWindowOnceItShowsTheFile) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display for the window";
    int status = -1;
    // Mesa keeps a little memory to the end of a window's life; leaks are
    // not what this test looks at.
    RunCommand("cd '" + m_folder.Path().string() + "' && ASAN_OPTIONS=detect_leaks=0 timeout 120 '" ORVANTA_EXE
               "' --quit --frame 1 scan.tvi",
               &status);
    EXPECT_EQ(status, 0) << "status 124: the window did not close by itself";
}

TEST_F(HeadlessTest, OnlyOutputsThatDrawNeedOpenGL) {
    // With no EGL vendor library to find, no OpenGL context can be made.
    const std::string noEgl = "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json ";
    int status = -1;
    std::string errors;
    Run(noEgl + "'" ORVANTA_EXE "' --snapshot s.png scan.tvi", status, &errors, true);
    ASSERT_EQ(status, 1) << "the drawing output must fail without OpenGL, or this test proves nothing";
    EXPECT_NE(errors.find("cannot draw"), std::string::npos) << errors;
    const QJsonObject info = ParseJson(
        Run(noEgl + "'" ORVANTA_EXE "' --info --save-plane xy p.png scan.tvi", status, &errors, true));
    EXPECT_EQ(status, 0) << errors;
    EXPECT_EQ(info["volume"].toObject()["frames"], 3);
    EXPECT_EQ(ReadPng(m_folder.File("p.png")).width, 24u);
}

TEST_F(HeadlessTest, InfoNamesTheFormatTypeAndValueRangeOfANiftiImage) {
    std::vector<float> values(5 * 4 * 3 * 2, 1.5f);
    values[7] = -0.25f;
    values[8] = std::numeric_limits<float>::quiet_NaN();
    values[9] = 1000.0f;
    NiftiContents c = NiftiVolume(5, 4, 3, 2, NIFTI_TYPE_FLOAT32, values);
    c.slope = 2.0;
    c.pixdim[1] = 0.5;
    c.pixdim[4] = 0.03;
    c.gzip = true;
    ASSERT_TRUE(WriteNiftiFile(m_folder.File("image.nii.gz"), c));
    int status = -1;
    const QJsonObject info = ParseJson(Run("--info image.nii.gz", status));
    EXPECT_EQ(status, 0);
    const QJsonObject volume = info["volume"].toObject();
    EXPECT_EQ(volume["format"], "nifti");
    EXPECT_EQ(volume["datatype"], "float32");
    EXPECT_EQ(volume["value_range"].toArray(), (QJsonArray{-0.5, 2000}));
    EXPECT_EQ(volume["size"].toArray(), (QJsonArray{5, 4, 3}));
    EXPECT_EQ(volume["frames"], 2);
    EXPECT_EQ(volume["pixel_size_mm"].toArray(), (QJsonArray{0.5, 1, 1}));
    EXPECT_EQ(volume["frame_time_ms"], 30);
    const QJsonObject tvi = ParseJson(Run("--info scan.tvi", status))["volume"].toObject();
    EXPECT_EQ(tvi["format"], "tvi");
    EXPECT_TRUE(tvi["datatype"].isNull());
    EXPECT_TRUE(tvi["value_range"].isNull());
}

TEST_F(HeadlessTest, PicturesEqualWhatTheCommandsWrite) {
    InProcess viewer(m_tvi);
    if (!viewer.m_ready) GTEST_SKIP() << "no offscreen OpenGL";
    const std::string state =
        "--frame 1 --view xz --brightness 0.7 --no-bounding-box --wireframe --window 120,90 --colormap magma";
    int status = -1;
    Run(state + " --snapshot cli.png --save-plane yz cli_yz.png scan.tvi", status);
    ASSERT_EQ(status, 0);

    CCommandLine commandLine;
    std::string error;
    ASSERT_TRUE(commandLine.Parse({"--frame", "1", "--view", "xz", "--brightness", "0.7", "--no-bounding-box",
                                   "--wireframe", "--window", "120,90", "--colormap", "magma"},
                                  error));
    for (const auto& option : commandLine.state) CCommandLine::ApplyState(option, viewer.m_viewer);
    ASSERT_TRUE(CViewerExports(viewer.m_viewer).SaveSnapshot(m_folder.File("gui.png")));
    ASSERT_TRUE(CViewerExports(viewer.m_viewer).SavePlane(0, m_folder.File("gui_yz.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("cli.png")), ReadBytes(m_folder.File("gui.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("cli_yz.png")), ReadBytes(m_folder.File("gui_yz.png")));
    const DecodedPng png = ReadPng(m_folder.File("cli.png"));
    EXPECT_EQ(png.width, 640u);
    EXPECT_EQ(png.height, 480u);
}

TEST_F(HeadlessTest, MoviesHaveEveryFrameAtTheFrameRate) {
    int status = -1;
    Run("--size 160x120 --ping-pong --export-avi movie.avi scan.tvi", status);
    ASSERT_EQ(status, 0);
    auto stream = ProbeVideoStream(m_folder.File("movie.avi"));
    EXPECT_EQ(stream["width"], "160");
    EXPECT_EQ(stream["height"], "120");
    EXPECT_EQ(stream["r_frame_rate"], "25/1");
    EXPECT_EQ(stream["nb_read_packets"], "4");  // 0 1 2 1
}

TEST_F(HeadlessTest, FailuresExitWithAStatusAndOneLine) {
    std::vector<uint8_t> bad = ReadBytes(m_tvi);
    bad[4] = 0xFF;  // X becomes negative
    bad[7] = 0xFF;
    WriteBytes(m_folder.File("bad.tvi"), bad);
    WriteBytes(m_folder.File("bad.nii.gz"),
               {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"--info missing.tvi", 1, "missing.tvi"},
        {"--info bad.tvi", 1, "negative size"},
        {"--info missing.obj", 1, "missing.obj"},
        {"--snapshot /nonexistent/a.png scan.tvi", 1, "/nonexistent/a.png"},
        {"--export-avi /nonexistent/a.avi scan.tvi", 1, "message: "},
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"--frame x1 --info scan.tvi", 2, "malformed"},
        {"--brightness 1.5 --info scan.tvi", 2, "out of range"},
        {"--save-plane xy p.png scan.obj", 2, "needs a volume"},
        {"--snapshot", 2, "Missing value after '--snapshot'"},
        {"--info=yes", 2, "Unexpected value"},
        {"-x --info", 2, "unknown option -x"},
        {"--save-plane xy", 2, "needs a plane and a path"},
        {"--save-plane=zz p.png --info scan.tvi", 2, "unknown plane 'zz'"},
        {"--size=0x10 --info", 2, "out of range"},
        {"--info scan.png", 2, "only " + OpenableKindsText()},
        {"--info bad.nii.gz", 1, "gzip data is corrupt"},
        {"--voxel 1,2 --info scan.tvi", 2, "--voxel: malformed value '1,2'"},
        {"--voxel 1e10,0,0 --info scan.tvi", 2, "--voxel: 1e10,0,0 is out of range"},
        {"--position 1,1,1 --voxel=1,1,1 --info scan.tvi", 2, "--position and --voxel both"},
        {"--voxel 0,16,0 --info scan.tvi", 1, "--voxel 0,16,0 lies outside the volume's 24 x 16 x 6 voxels"},
        {"--voxel 0,0,0 --info scan.obj", 1, "outside the volume's 0 x 0 x 0 voxels"},
        {"--info scan.tvi > /dev/full", 1, "cannot write the output"},
        {"--info scan.tvi scan.obj", 2, "one file at a time: 'scan.tvi' and 'scan.obj'"},
        {"scan.tvi --labels bad.nii.gz scan.tvi", 2, "one file at a time"},
        {"--window 10,0 --info scan.tvi", 2, "--window: 10,0: the width must be above 0"},
        {"--window 10 --info scan.tvi", 2, "--window: malformed value '10'"},
        {"--colormap jet --info scan.tvi", 2, "--colormap: unknown value 'jet'"},
        {"--window-preset ct-heart --info scan.tvi", 2, "--window-preset: unknown value 'ct-heart'"},
    };
    for (const Case& c : cases) {
        int status = -1;
        std::string errors;
        Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
        EXPECT_LE(std::count(errors.begin(), errors.end(), '\n'), 2) << c.arguments << ": " << errors;
    }
    for (const char* help : {"--help", "-h", "--info --help scan.tvi"}) {
        int status = -1;
        EXPECT_NE(Run(help, status).find("Usage: orvanta"), std::string::npos) << help;
        EXPECT_EQ(status, 0) << help;
    }
    for (const char* version : {"--version", "-v"}) {
        int status = -1;
        EXPECT_EQ(Run(version, status).rfind("orvanta ", 0), 0u) << version;
        EXPECT_EQ(status, 0) << version;
    }
}

TEST_F(HeadlessTest, RandomArgumentsNeverCrashTheParser) {
    const std::vector<std::string> words = {"--info",   "--size",   "--position", "--frame",   "--camera",
                                            "--view",   "xy",       "3d",         "1,2,3",     "640x480",
                                            "-1",       "1e308",    "nan",        "--hide-planes", "xyz",
                                            "",         ",",        "x",          "--save-plane",  "0x10",
                                            "--saturation", "101",  "--pixel-size", "0.001,1,1", "--select-object",
                                            "--voxel"};
    std::mt19937 random(11);
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::string> arguments;
        const int count = static_cast<int>(random() % 6);
        for (int i = 0; i < count; ++i) arguments.push_back(words[random() % words.size()]);
        CCommandLine commandLine;
        std::string error;
        if (!commandLine.Parse(arguments, error)) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        // Whatever was accepted has the arguments it needs.
        for (const auto& option : commandLine.state) {
            if (option.name == "position" || option.name == "voxel" || option.name == "camera" ||
                option.name == "pixel-size") {
                ASSERT_EQ(option.numbers.size(), 3u);
            }
        }
        EXPECT_GE(commandLine.width, 1);
    }
}

TEST_F(HeadlessTest, DamagedFilesThroughTheEntryPointFailCleanly) {
    const std::vector<uint8_t> good = ReadBytes(m_tvi);
    std::mt19937 random(5);
    for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> bytes = good;
        bytes.resize(random() % (good.size() + 1));
        for (int flips = 0; flips < 6 && !bytes.empty(); ++flips)
            bytes[random() % std::min<size_t>(bytes.size(), 1200)] = static_cast<uint8_t>(random());
        WriteBytes(m_folder.File("fuzz.tvi"), bytes);
        int status = -1;
        Run("--info fuzz.tvi", status);
        EXPECT_TRUE(status == 0 || status == 1) << "round " << round << " status " << status;
    }
}

TEST_F(HeadlessTest, TheDemoDataThroughEveryOutput) {
    ASSERT_EQ(std::system(
                  (std::string(ORVANTA_MAKE_DEMO) + " '" + m_folder.Path().string() + "' --nifti > /dev/null")
                      .c_str()),
              0);
    int status = -1;
    const std::string json =
        Run("--info --frame 4 --snapshot demo.png --save-plane xy demo_xy.png --export-avi demo.avi heart.tvi", status);
    ASSERT_EQ(status, 0);
    const QJsonObject info = ParseJson(json);
    EXPECT_EQ(info["volume"].toObject()["size"].toArray(), (QJsonArray{192, 192, 12})) << json;
    EXPECT_EQ(info["volume"].toObject()["frames"], 20) << json;
    EXPECT_EQ(info["meshes"].toObject()["objects"], 20) << json;
    EXPECT_EQ(info["meshes"].toObject()["last_frame"], 19) << json;
    auto stream = ProbeVideoStream(m_folder.File("demo.avi"));
    EXPECT_EQ(stream["nb_read_packets"], "20");
    EXPECT_EQ(stream["r_frame_rate"], "18/1");

    // The NIfTI copy of the demo shows exactly what the .tvi shows, and the
    // patient directions the .tvi cannot tell.
    Run("--frame 4 --snapshot nifti.png --save-plane xy nifti_xy.png heart.nii.gz", status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(ReadBytes(m_folder.File("nifti.png")), ReadBytes(m_folder.File("demo.png")));
    Run("--frame 4 --no-orientation-labels --snapshot nifti.png heart.nii.gz", status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(m_folder.File("nifti.png")), ReadBytes(m_folder.File("demo.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("nifti_xy.png")), ReadBytes(m_folder.File("demo_xy.png")));

    InProcess viewer(m_folder.File("heart.tvi"));
    if (!viewer.m_ready) GTEST_SKIP() << "no offscreen OpenGL";
    viewer.m_viewer.Navigation().SetFrame(4);
    viewer.m_viewer.RefreshView();
    ASSERT_TRUE(CViewerExports(viewer.m_viewer).SaveSnapshot(m_folder.File("gui.png")));
    ASSERT_TRUE(CViewerExports(viewer.m_viewer).SavePlane(2, m_folder.File("gui_xy.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("demo.png")), ReadBytes(m_folder.File("gui.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("demo_xy.png")), ReadBytes(m_folder.File("gui_xy.png")));
}

namespace {

// Label 1 on a box of the test volume in every frame, label 3 on one voxel of
// frame 2; `width` other than 24 makes a file that does not fit.
std::string WriteLabels(const TempFolder& folder, const std::string& name, int width = 24,
                        double pixelSize = 2.0) {
    const auto label = [](int x, int y, int z, int t) {
        if (x == 15 && y == 10 && z == 4 && t == 2) return 3;
        return x >= 4 && x <= 7 && y >= 3 && y <= 6 && z >= 1 && z <= 3 ? 1 : 0;
    };
    NiftiContents nifti = NiftiVolume(width, 16, 6, 3, DT_UINT8, LabelValues(width, 16, 6, 3, label));
    nifti.SetPixelSizes(pixelSize, pixelSize, pixelSize * 2.5);
    nifti.gzip = true;
    const std::string path = folder.File(name);
    EXPECT_TRUE(WriteNiftiFile(path, nifti));
    return path;
}

// Pixels far redder than they are green or blue.
int RedPixels(const DecodedPng& image) {
    EXPECT_TRUE(image.ok);
    const size_t channels = image.colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
    int count = 0;
    for (const std::vector<uint8_t>& row : image.rows)
        for (size_t i = 0; i + 2 < row.size(); i += channels)
            if (row[i] > row[i + 1] + 60 && row[i] > row[i + 2] + 60) ++count;
    return count;
}

}  // namespace

// Labels on the command line: reported by --info, drawn by --snapshot, left
// out of --save-plane, and written with the .obj meshes by --export-obj.
TEST_F(HeadlessTest, LabelsThroughEveryOutput) {
    WriteLabels(m_folder, "labels.nii.gz");
    int status = -1;
    std::string errors;
    const std::string common = "--view xy --position 6,10,2 --no-geometry ";
    const std::string json = Run(common + "--labels labels.nii.gz --info --snapshot with.png --save-plane xy "
                                          "plane_with.png --export-obj all.obj scan.tvi",
                                 status, &errors);
    ASSERT_EQ(status, 0) << errors;
    const QJsonObject labels = ParseJson(json)["labels"].toObject();
    EXPECT_EQ(labels["path"], "labels.nii.gz");
    EXPECT_EQ(labels["size"].toArray(), (QJsonArray{24, 16, 6}));
    EXPECT_EQ(labels["frames"], 3);
    EXPECT_EQ(labels["labels"].toArray(), (QJsonArray{1, 3}));
    EXPECT_EQ(labels["voxels_per_frame"].toObject()["1"].toArray(), (QJsonArray{48, 48, 48}));
    EXPECT_EQ(labels["voxels_per_frame"].toObject()["3"].toArray(), (QJsonArray{0, 0, 1}));
    EXPECT_EQ(labels["meshes"], 4);
    Run(common + "--snapshot without.png --save-plane xy plane_without.png scan.tvi", status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(m_folder.File("plane_with.png")), ReadBytes(m_folder.File("plane_without.png")));
    // The 8 x 8 mm box covers about 9 x 9 pixels at the default distance.
    EXPECT_GT(RedPixels(ReadPng(m_folder.File("with.png"))), 60);
    EXPECT_EQ(RedPixels(ReadPng(m_folder.File("without.png"))), 0);

    CMeshSet meshes;
    ASSERT_TRUE(meshes.LoadObj(m_folder.File("all.obj")));
    std::vector<std::string> names;
    for (const CMeshObject& object : meshes.Objects()) names.push_back(object.m_name);
    EXPECT_EQ(names, (std::vector<std::string>{"lv-00", "lv-01", "lv-02", "label1-00", "label1-01", "label1-02",
                                               "label3-02"}));
}

// --export-mesh writes the current frame, or with --all-frames every frame
// with a ParaView collection of their times; failures exit with one line.
TEST_F(HeadlessTest, MeshExportsWriteFramesInTheFormatOfTheName) {
    WriteLabels(m_folder, "labels.nii.gz");
    int status = -1;
    std::string errors;
    for (const char* outputs :
         {"--frame 2 --export-mesh frame.ply", "--all-frames --export-mesh every.vtp"}) {
        Run(std::string("--labels labels.nii.gz ") + outputs + " scan.tvi", status, &errors);
        ASSERT_EQ(status, 0) << outputs << ": " << errors;
    }
    CMeshSet meshes;
    std::string error;
    ASSERT_TRUE(meshes.Load(m_folder.File("frame.ply"), error)) << error;
    std::vector<std::string> names;
    for (const CMeshObject& object : meshes.Objects()) names.push_back(object.m_name);
    EXPECT_EQ(names, (std::vector<std::string>{"lv-02", "label1-02", "label3-02"}));
    for (const char* file : {"every-00.vtp", "every-01.vtp", "every-02.vtp"})
        EXPECT_TRUE(FileExists(m_folder.File(file))) << file;
    const std::vector<uint8_t> bytes = ReadBytes(m_folder.File("every.pvd"));
    const std::string collection(bytes.begin(), bytes.end());
    for (const char* entry : {R"(timestep="0" group="" part="0" file="every-00.vtp")",
                              R"(timestep="40" group="" part="0" file="every-01.vtp")",
                              R"(timestep="80" group="" part="0" file="every-02.vtp")"})
        EXPECT_NE(collection.find(entry), std::string::npos) << entry << " in " << collection;

    Run("--export-mesh missing/frame.stl scan.tvi", status, &errors);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("missing/frame.stl"), std::string::npos) << errors;
}

// Label volumes and the ejection in --info, the curves as CSV and as a
// chart; an ejection label that cannot give one fails that study alone.
TEST_F(HeadlessTest, CurvesThroughInfoCsvAndPlot) {
    WriteLabels(m_folder, "labels.nii.gz");
    int status = -1;
    std::string errors;
    // Voxels of 2 x 2 x 5 mm hold 0.02 ml: label 1 has 48 in every frame,
    // label 3 one in frame 2.
    const QJsonObject labels =
        ParseJson(Run("--labels labels.nii.gz --info --export-csv curves.csv --size 400x300 "
                      "--export-plot curves.png --export-plot curves.SVG scan.tvi",
                      status, &errors))["labels"]
            .toObject();
    ASSERT_EQ(status, 0) << errors;
    const QJsonObject volumes = labels["volume_ml_per_frame"].toObject();
    EXPECT_EQ(volumes["1"].toArray(), (QJsonArray{0.96, 0.96, 0.96}));
    EXPECT_EQ(volumes["3"].toArray(), (QJsonArray{0, 0, 0.02}));
    // Label 3 vanishes in frames 0 and 1, so label 1 is taken.
    const QJsonObject ejection = labels["ejection"].toObject();
    EXPECT_EQ(ejection["label"], 1);
    EXPECT_EQ(ejection["automatic"], true);
    EXPECT_DOUBLE_EQ(ejection["edv_ml"].toDouble(), 0.96);
    EXPECT_DOUBLE_EQ(ejection["ef_percent"].toDouble(), 0.0);

    const std::vector<uint8_t> bytes = ReadBytes(m_folder.File("curves.csv"));
    const std::string csv(bytes.begin(), bytes.end());
    // The lv triangles are open and get no column; the label surfaces do.
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "frame,time_ms,label1_ml,label3_ml,label1_mesh_ml,label3_mesh_ml,value_at_position");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;
    EXPECT_NE(csv.find("\n1,40,0.96,0,"), std::string::npos) << csv;
    const DecodedPng plot = ReadPng(m_folder.File("curves.png"));
    ASSERT_TRUE(plot.ok);
    EXPECT_EQ(plot.width, 400u);
    EXPECT_EQ(plot.height, 300u);
    EXPECT_GT(RedPixels(plot), 50) << "label 1's line in red";
    const std::vector<uint8_t> svg = ReadBytes(m_folder.File("curves.SVG"));
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("<svg"), std::string::npos);

    struct Case {
        std::string arguments, message;
        int status;
    };
    const Case cases[] = {
        {"--labels labels.nii.gz --ejection-label 3 --info scan.tvi", "no volume in frame 0", 1},
        {"--labels labels.nii.gz --ejection-label 2 --info scan.tvi", "no label 2", 1},
        {"--export-plot curves.jpg scan.tvi", "png or .svg", 2},
        {"--export-csv missing/curves.csv scan.tvi", "missing/curves.csv", 1},
        {"--export-plot missing/curves.svg scan.tvi", "missing/curves.svg", 1},
    };
    for (const Case& c : cases) {
        const std::string output = Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << c.arguments << ": " << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << c.arguments << ": " << errors;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
        EXPECT_EQ(output, "") << c.arguments;
    }
    EXPECT_FALSE(FileExists(m_folder.File("curves.jpg")));
}

TEST_F(HeadlessTest, LabelsThatCannotBeShownFailWithOneLine) {
    WriteLabels(m_folder, "wide.nii.gz", 25);
    WriteLabels(m_folder, "unsized.nii.gz", 24, 0.0);
    WriteLabels(m_folder, "sized.nii.gz", 24, 1.5);
    struct Case {
        std::string arguments, message;
        int status;
    };
    const Case cases[] = {
        {"--labels wide.nii.gz --info scan.tvi", "25 x 16 x 6 voxels with 3 frames, the volume 24 x 16 x 6", 1},
        {"--labels unsized.nii.gz --info", "gives no pixel sizes", 1},
        {"--labels missing.nii --info scan.tvi", "missing.nii", 1},
        {"--labels sized.nii.gz --export-obj s.obj --info", "", 0},
    };
    for (const Case& test : cases) {
        int status = -1;
        std::string errors;
        const std::string json = Run(test.arguments, status, &errors);
        EXPECT_EQ(status, test.status) << test.arguments << ": " << errors;
        EXPECT_NE(errors.find(test.message), std::string::npos) << test.arguments << ": " << errors;
        if (test.status == 0) {
            EXPECT_EQ(ParseJson(json)["volume"].toObject()["pixel_size_mm"].toArray(), (QJsonArray{1.5, 1.5, 3.75}))
                << json;
            CMeshSet meshes;
            EXPECT_TRUE(meshes.LoadObj(m_folder.File("s.obj")));
            EXPECT_EQ(meshes.ObjectCount(), 4);
        }
    }
}

TEST_F(HeadlessTest, DicomFolderSeriesAreListedAndChosen) {
    // Series 5: 2 slices x 3 frames; series 3: one image.
    for (int image = 0; image < 7; ++image) {
        DicomImageFields fields;
        fields.values.assign(20, 100.0 + image);
        fields.seriesUid = image < 6 ? "1.2.6.5" : "1.2.6.3";
        fields.seriesNumber = image < 6 ? 5 : 3;
        fields.position = std::array<double, 3>{0.0, 0.0, image < 6 ? 4.0 * (image / 3) : 0.0};
        fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
        fields.triggerTime = 30.0 * (image % 3);
        std::filesystem::create_directories(m_folder.Path() / "dicom");
        ASSERT_TRUE(WriteDicomImage(m_folder.File("dicom/im" + std::to_string(image)), fields));
    }
    const QJsonArray list{
        QJsonObject{{"label", "3 cine: 5 x 4, 1 image, 1 slice x 1 frame"}, {"number", 3}, {"description", "cine"},
                    {"type", QJsonValue()}, {"uid", "1.2.6.3"}, {"rows", 4}, {"columns", 5}, {"images", 1},
                    {"slices", 1}, {"frames", 1}, {"loadable", true}, {"reason", QJsonValue()}},
        QJsonObject{{"label", "5 cine: 5 x 4, 6 images, 2 slices x 3 frames"}, {"number", 5}, {"description", "cine"},
                    {"type", QJsonValue()}, {"uid", "1.2.6.5"}, {"rows", 4}, {"columns", 5}, {"images", 6},
                    {"slices", 2}, {"frames", 3}, {"loadable", true}, {"reason", QJsonValue()}}};
    struct Case {
        const char* arguments;
        int status;
        const char* uid;  // the series loaded, or the start of the error
    };
    for (const Case& c : {Case{"--info dicom", 0, "1.2.6.5"}, Case{"--info --series 1 dicom", 0, "1.2.6.3"},
                          Case{"--series 1.2.6.5 --info dicom", 0, "1.2.6.5"},
                          Case{"--info --series stack dicom", 1, "orvanta: Cannot choose a series"},
                          Case{"--info dicom/im6", 0, "1.2.6.3"}}) {
        SCOPED_TRACE(c.arguments);
        int status = -1;
        std::string errors;
        const std::string output = Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << errors;
        if (c.status != 0) {
            EXPECT_EQ(errors.rfind(c.uid, 0), 0u) << errors;
            continue;
        }
        const QJsonObject volume = ParseJson(output)["volume"].toObject();
        EXPECT_EQ(volume["format"], "dicom") << output;
        // The folder or file named, as for every format.
        const std::string arguments = c.arguments;
        EXPECT_EQ(volume["path"], QString::fromStdString(arguments.substr(arguments.rfind(' ') + 1))) << output;
        EXPECT_EQ(volume["series"].toArray(), list) << output;
        EXPECT_EQ(volume["series_uid"], c.uid) << output;
    }
    int status = -1;
    EXPECT_EQ(ParseJson(Run("--info scan.tvi", status))["volume"].toObject()["format"], "tvi");
}

namespace {

// A 6 x 5 x 4 image of 3 frames whose qform turns it obliquely, flips it
// (qfac -1) and shifts it; voxel (i, j, k) of frame t holds i + 10 j + 100 k + 1000 t.
void WriteTurnedNifti(const TempFolder& folder) {
    TviContents volume = TviVolume(6, 5, 4, 3, [](int i, int j, int k, int t) {
        return static_cast<uint16_t>(i + 10 * j + 100 * k + 1000 * t);
    });
    volume.SetCalibration(1.5, 2.0, 3.0, 40);
    NiftiContents nifti = NiftiOfTvi(volume);
    nifti.pixdim[0] = -1.0;
    nifti.qformCode = 1;
    const double quatern[3] = {0.2, 0.1, 0.3}, offset[3] = {12.0, -30.0, 8.0};
    std::copy(quatern, quatern + 3, nifti.quatern);
    std::copy(offset, offset + 3, nifti.qoffset);
    nifti.gzip = true;
    ASSERT_TRUE(WriteNiftiFile(folder.File("turned.nii.gz"), nifti));
}

// Three oblique slices of two frames of 5 x 4 images, rescaled by 2 and 7;
// pixel (i, j) of slice k in frame t is stored as i + 10 j + 100 k + 1000 t.
void WriteObliqueSeries(const TempFolder& folder) {
    DicomImageFields image;
    image.orientation = std::array<double, 6>{0.8660254, 0.5, 0, -0.25, 0.4330127, -0.8660254};
    image.position = std::array<double, 3>{-20, 35, 60};
    image.pixelSpacing = std::array<double, 2>{0.75, 0.5};
    image.rescaleSlope = 2.0;
    image.rescaleIntercept = 7.0;
    const auto pixels = [](DicomImageFields& fields, int k, int t) {
        fields.values.clear();
        for (int j = 0; j < fields.rows; ++j)
            for (int i = 0; i < fields.columns; ++i) fields.values.push_back(i + 10 * j + 100 * k + 1000 * t);
    };
    ASSERT_FALSE(WriteDicomSeries(folder.File("series"), image, 3, 2, 3.0, 40.0, pixels).empty());
}

// Three whole numbers as the options take them: "3,2,5".
std::string Triple(const std::array<int, 3>& numbers) {
    return std::to_string(numbers[0]) + "," + std::to_string(numbers[1]) + "," + std::to_string(numbers[2]);
}
// The same of an --info array (null: "").
std::string Triple(const QJsonValue& numbers) {
    std::string text;
    // Appended piece by piece: GCC 12 at -O2 warns wrongly of overlap when a
    // literal is added to a string here.
    for (const QJsonValue& number : numbers.toArray()) {
        if (!text.empty()) text += ',';
        text += QString::number(number.toDouble()).toStdString();
    }
    return text;
}

}  // namespace

// --voxel takes the file's numbering in every format, --position the
// title's, and --info gives both whichever set them.
TEST_F(HeadlessTest, VoxelAndPositionNumberOneVoxelInEveryFormat) {
    WriteTurnedNifti(m_folder);
    WriteObliqueSeries(m_folder);
    std::filesystem::create_directory(m_folder.File("movies"));
    for (const char* movie : {"movies/a.avi", "movies/b.avi"})
        ASSERT_TRUE(WriteMovie(m_folder.File(movie), 8, 6, PatternFrames(8, 6, 3)));
    struct Case {
        const char* file;
        std::array<int, 3> voxel, position;  // x and y mirrored in the volume's columns and rows
    };
    const Case cases[] = {
        {"scan.tvi", {3, 2, 5}, {20, 13, 5}},
        {"turned.nii.gz", {0, 4, 1}, {5, 0, 1}},
        {"series", {4, 0, 2}, {0, 3, 2}},
        {"movies", {1, 5, 0}, {6, 0, 0}},
    };
    for (const Case& c : cases) {
        for (const std::string& option : {"--voxel " + Triple(c.voxel), "--position=" + Triple(c.position)}) {
            SCOPED_TRACE(option + " " + c.file);
            int status = -1;
            std::string errors;
            const QJsonObject info = ParseJson(Run("--info " + option + " " + c.file, status, &errors));
            ASSERT_EQ(status, 0) << errors;
            EXPECT_EQ(Triple(info["voxel"]), Triple(c.voxel));
            EXPECT_EQ(Triple(info["position"]), Triple(c.position));
        }
    }
}

namespace {

// Another reader's view of one voxel: nibabel's of a NIfTI image, pydicom's
// of the DICOM image that holds the voxel's slice and frame. Prints the value
// in the file's units and the voxel's RAS position as JSON.
constexpr const char* kOtherReader = R"(import json, sys
kind, path = sys.argv[1], sys.argv[2]
i, j, k, t = (int(a) for a in sys.argv[3].split(","))
if kind == "nifti":
    import nibabel, numpy
    image = nibabel.load(path)
    value = float(numpy.asanyarray(image.dataobj[i, j, k, t]))
    world = list(image.affine @ [i, j, k, 1])[:3]
else:
    import pydicom
    image = pydicom.dcmread(path)
    value = float(image.pixel_array[j, i]) * float(image.RescaleSlope) + float(image.RescaleIntercept)
    o = [float(v) for v in image.ImageOrientationPatient]
    p = [float(v) for v in image.ImagePositionPatient]
    rows, columns = (float(v) for v in image.PixelSpacing)
    lps = [p[a] + o[a] * columns * i + o[3 + a] * rows * j for a in range(3)]
    world = [-lps[0], -lps[1], lps[2]]
print(json.dumps({"value": value, "world": [float(w) for w in world]}))
)";

// Debian's interpreter, where python3-nibabel and python3-pydicom put their
// modules (a python3 earlier on the PATH may lack them).
constexpr const char* kPython = "/usr/bin/python3";

}  // namespace

// world_position and value belong to the voxel: the transform maps the voxel
// there, nibabel and pydicom find the same place and value at that voxel in
// the file, and the curves' value_at_position is that value.
TEST_F(HeadlessTest, WorldPositionAndValueAreThoseOfTheVoxelAsOtherReadersSeeThem) {
    int status = -1;
    RunCommand(std::string(kPython) + " -c 'import nibabel, pydicom' 2> /dev/null", &status);
    if (status != 0) GTEST_SKIP() << kPython << " with python3-nibabel and python3-pydicom is needed";
    WriteTurnedNifti(m_folder);
    WriteObliqueSeries(m_folder);
    ASSERT_TRUE(WriteText(m_folder.File("read.py"), kOtherReader));
    const std::string slices = "series/" + DicomImageFields().seriesUid + "-";
    struct Case {
        std::string option, file;
        std::array<int, 3> voxel;
        std::string reader;  // the other reader's kind and file
    };
    const Case cases[] = {
        {"--voxel 0,0,0", "turned.nii.gz", {0, 0, 0}, "nifti turned.nii.gz"},
        {"--voxel 5,1,3", "turned.nii.gz", {5, 1, 3}, "nifti turned.nii.gz"},
        {"--position 1,0,2", "turned.nii.gz", {4, 4, 2}, "nifti turned.nii.gz"},
        {"--voxel 3,1,0", "series", {3, 1, 0}, "dicom " + slices + "0-1.dcm"},
        {"--voxel 0,3,2", "series", {0, 3, 2}, "dicom " + slices + "2-1.dcm"},
        {"--position 0,0,1", "series", {4, 3, 1}, "dicom " + slices + "1-1.dcm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " " + c.file);
        std::string errors;
        const QJsonObject info = ParseJson(
            Run("--frame 1 " + c.option + " --info --export-csv curves.csv " + c.file, status, &errors));
        ASSERT_EQ(status, 0) << errors;
        ASSERT_EQ(Triple(info["voxel"]), Triple(c.voxel));
        const QJsonObject other =
            ParseJson(RunCommand("cd '" + m_folder.Path().string() + "' && " + kPython + " read.py " +
                                 c.reader + " " + Triple(c.voxel) + ",1"));
        const QJsonArray rows = info["volume"].toObject()["transform"].toArray();
        const QJsonArray world = info["world_position"].toArray();
        ASSERT_EQ(rows.size(), 4);
        ASSERT_EQ(world.size(), 3);
        for (int axis = 0; axis < 3; ++axis) {
            const QJsonArray row = rows[axis].toArray();
            double mapped = row[3].toDouble();
            for (int column = 0; column < 3; ++column)
                mapped += row[column].toDouble() * c.voxel[static_cast<size_t>(column)];
            EXPECT_NEAR(world[axis].toDouble(), mapped, 1e-9) << "axis " << axis;
            EXPECT_NEAR(world[axis].toDouble(), other["world"].toArray()[axis].toDouble(), 1e-3)
                << "axis " << axis;
        }
        ASSERT_TRUE(info["value"].isDouble()) << info["value"].toVariant().toString().toStdString();
        EXPECT_EQ(info["value"].toDouble(), other["value"].toDouble());

        const std::vector<uint8_t> bytes = ReadBytes(m_folder.File("curves.csv"));
        const std::string csv(bytes.begin(), bytes.end());
        const size_t frame1 = csv.find("\n1,");
        ASSERT_NE(frame1, std::string::npos) << csv;
        const std::string row = csv.substr(frame1 + 1, csv.find('\n', frame1 + 1) - frame1 - 1);
        EXPECT_EQ(std::stod(row.substr(row.rfind(',') + 1)), other["value"].toDouble()) << csv;
    }
}

// The window, its presets and the colour maps reach --info, the saved planes
// (grey as a grey palette, other maps as RGB) and the snapshot's colour bar.
TEST_F(HeadlessTest, WindowAndColourMapReachEveryOutput) {
    CTestHost host;
    CRecordingView view;
    CViewer viewer(view, host);
    viewer.LoadVolumeFile(m_tvi);
    const int z = viewer.State().m_z;
    // The grey of each voxel of the XY plane under centre 150, width 100.
    const auto grey = [&](uint32_t column, uint32_t row) {
        const double value = *viewer.Volume().Value(int(column), int(row), z, 0);
        return static_cast<int>(std::lround(255 * std::clamp((value - 100) / 100, 0.0, 1.0)));
    };
    int status = -1;
    const QJsonObject display =
        ParseJson(Run("--window 150,100 --info --save-plane xy w.png scan.tvi", status))["display"].toObject();
    ASSERT_EQ(status, 0);
    EXPECT_EQ(display["window"].toObject()["center"].toDouble(), 150.0);
    EXPECT_EQ(display["window"].toObject()["width"].toDouble(), 100.0);
    EXPECT_EQ(display["colormap"].toString(), "grey");
    Run("--window 150,100 --colormap hot --save-plane xy h.png scan.tvi", status);
    ASSERT_EQ(status, 0);
    const DecodedPng greyPng = ReadPng(m_folder.File("w.png")), hotPng = ReadPng(m_folder.File("h.png"));
    ASSERT_TRUE(greyPng.ok && hotPng.ok);
    ASSERT_EQ(greyPng.colourType, PNG_COLOR_TYPE_PALETTE);
    ASSERT_EQ(hotPng.colourType, PNG_COLOR_TYPE_RGB);
    ASSERT_EQ(greyPng.width, 24u);
    const auto& hot = ColourMapTable(EColourMap::kHot);
    std::set<int> greys;
    for (uint32_t row = 0; row < greyPng.height; ++row)
        for (uint32_t column = 0; column < greyPng.width; ++column) {
            const int expected = grey(column, row);
            greys.insert(expected);
            ASSERT_EQ(greyPng.rows[row][column], expected) << column << ", " << row;
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(hotPng.rows[row][3 * column + c], hot[static_cast<size_t>(expected)][c]) << column;
        }
    EXPECT_TRUE(greys.count(0) && greys.count(255) && greys.size() > 10) << "both ends and the ramp between";

    // The full range of (i * 7) % 300 is 0 to 299.
    const QJsonObject full =
        ParseJson(Run("--window-preset full-range --colormap viridis --info scan.tvi", status))["display"].toObject();
    EXPECT_EQ(full["window"].toObject()["center"].toDouble(), 149.5);
    EXPECT_EQ(full["window"].toObject()["width"].toDouble(), 299.0);
    EXPECT_EQ(full["colormap"].toString(), "viridis");

    // The colour bar comes on with the map and is drawn at the view's right edge.
    Run("--colormap hot --snapshot bar.png scan.tvi", status);
    ASSERT_EQ(status, 0);
    Run("--colormap hot --no-colorbar --snapshot nobar.png scan.tvi", status);
    ASSERT_EQ(status, 0);
    const DecodedPng bar = ReadPng(m_folder.File("bar.png")), noBar = ReadPng(m_folder.File("nobar.png"));
    ASSERT_TRUE(bar.ok && noBar.ok && bar.width == noBar.width && bar.height == noBar.height);
    const size_t bytes = bar.rows[0].size() / bar.width;
    uint32_t differing = 0, leftmost = bar.width;
    for (uint32_t row = 0; row < bar.height; ++row)
        for (uint32_t column = 0; column < bar.width; ++column)
            if (!std::equal(bar.rows[row].begin() + column * bytes, bar.rows[row].begin() + (column + 1) * bytes,
                            noBar.rows[row].begin() + column * bytes)) {
                ++differing;
                leftmost = std::min(leftmost, column);
            }
    EXPECT_GT(differing, 100u);
    EXPECT_GT(leftmost, bar.width * 3 / 4) << "the bar and its values keep to the right edge";
}

// End-diastolic labels of a small beating phantom carried over every frame
// headless: --info and --export-labels give the carried labels, whose blood
// volume follows the true one; a run without labels, or with a reference
// outside the frames, fails with one line.
TEST_F(HeadlessTest, LabelsCarriedOverTimeFeedEveryOutput) {
    CCardiacPhantomShape shape = CCardiacPhantomShape().ScaledInPlane(0.75);
    shape.sizeZ = 6;
    shape.frames = 12;
    shape.systolicFrame = 5.0;
    const CCardiacPhantom phantom(shape);
    ASSERT_TRUE(WritePhantomStudy(m_folder.File("study"), phantom));
    int status = -1;
    std::string errors;
    const QJsonObject labels =
        ParseJson(Run("--labels study/ed_labels.nii.gz --propagate-labels 0 --ejection-label 1 "
                      "--export-labels all.nii.gz --info study/cine.nii.gz",
                      status, &errors))["labels"]
            .toObject();
    ASSERT_EQ(status, 0) << errors;
    EXPECT_EQ(labels["frames"].toInt(), shape.frames);
    const QJsonArray blood = labels["volume_ml_per_frame"].toObject()["1"].toArray();
    ASSERT_EQ(blood.size(), shape.frames);
    const double voxelMl = 1.5 * 1.5 * 8.0 / 1000.0;
    double trueEd = 0, trueEs = 1e30;
    for (int t = 0; t < shape.frames; ++t) {
        int64_t voxels = 0;
        for (int z = 0; z < shape.sizeZ; ++z)
            for (int y = 0; y < shape.sizeY; ++y)
                for (int x = 0; x < shape.sizeX; ++x) voxels += phantom.Label(x, y, z, t) == CCardiacPhantom::kBlood;
        const double truth = static_cast<double>(voxels) * voxelMl;
        trueEd = std::max(trueEd, truth);
        trueEs = std::min(trueEs, truth);
        EXPECT_NEAR(blood[t].toDouble(), truth, 0.1 * truth) << "frame " << t;
    }
    EXPECT_NEAR(labels["ejection"].toObject()["ef_percent"].toDouble(), 100.0 * (trueEd - trueEs) / trueEd, 5.0);
    CLabelImage all;
    ASSERT_TRUE(ReadLabelFile(m_folder.File("all.nii.gz"), all, errors)) << errors;
    EXPECT_EQ(all.Frames(), shape.frames);

    struct Case {
        std::string arguments, message;
        int status;
    };
    const Case cases[] = {
        {"--propagate-labels 0 --info study/cine.nii.gz", "--propagate-labels needs a label image", 2},
        {"--labels study/ed_labels.nii.gz --propagate-labels 0,1,2 --info study/cine.nii.gz", "malformed", 2},
        {"--labels study/ed_labels.nii.gz --propagate-labels 40 --info study/cine.nii.gz", "frame 40", 1},
    };
    for (const Case& c : cases) {
        Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << c.arguments << ": " << errors;
        // One line, and for a usage error the hint to --help.
        EXPECT_NE(errors.substr(0, errors.find('\n')).find(c.message), std::string::npos)
            << c.arguments << ": " << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), c.status == 2 ? 2 : 1) << errors;
    }
}

// Measurements from a file: each value in every frame in --info and a column
// of its own in the CSV, whichever side of --labels the option stands.
TEST_F(HeadlessTest, MeasurementsThroughInfoAndCsv) {
    WriteLabels(m_folder, "labels.nii.gz");
    // The voxels are 2 x 2 x 5 mm and the volume has no geometry.
    ASSERT_TRUE(WriteText(m_folder.File("m.json"), R"({"measurements": [
        {"name": "d1", "kind": "distance", "points_voxel": [[0, 0, 0], [3, 4, 0]]},
        {"name": "a1", "kind": "angle", "points_voxel": [[1, 0, 0], [0, 0, 0], [0, 1, 1]]},
        {"name": "s1", "kind": "area", "points_voxel": [[0, 0, 0], [4, 0, 0], [0, 3, 0]]},
        {"name": "lv", "kind": "distance", "points_voxel": [[0, 4, 2], [23, 4, 2]], "follow_label": 1},
        {"name": "dot", "kind": "distance", "points_voxel": [[10, 10, 4], [20, 10, 4]], "follow_label": 3},
        {"name": "p", "kind": "distance", "frames": {"0": [[0, 0, 0], [1, 0, 0]], "2": [[0, 0, 0], [2, 0, 0]]}}
    ]})"));
    int status = -1;
    std::string errors;
    const std::string json =
        Run("--measure m.json --labels labels.nii.gz --info --export-csv c.csv "
            "--snapshot with.png scan.tvi",
            status, &errors);
    const QJsonArray list = ParseJson(json)["measurements"].toArray();
    ASSERT_EQ(status, 0) << errors;
    // The snapshot draws them: without them the picture differs.
    Run("--labels labels.nii.gz --snapshot without.png scan.tvi", status);
    const DecodedPng with = ReadPng(m_folder.File("with.png"));
    const DecodedPng without = ReadPng(m_folder.File("without.png"));
    ASSERT_TRUE(with.ok && without.ok);
    EXPECT_NE(with.rows, without.rows);
    // (3, 4) voxels = (6, 8) mm: 10 mm. Arms along i (2 mm) and j + k (2, 5 mm) meet at right angles.
    // Legs of 8 and 6 mm: 24 mm2. Label 1 spans x 4 to 7 (4 voxels, 8 mm) in every frame; label 3 is one
    // voxel (2 mm) in frame 2 alone. The per-frame ruler is 2 mm in frame 0, kept in frame 1 (the
    // nearer earlier tie), 4 mm in frame 2.
    const std::vector<std::tuple<const char*, const char*, std::vector<double>>> expected = {
        {"d1", "mm", {10, 10, 10}}, {"a1", "deg", {90, 90, 90}},  {"s1", "mm2", {24, 24, 24}},
        {"lv", "mm", {8, 8, 8}},    {"dot", "mm", {NAN, NAN, 2}}, {"p", "mm", {2, 2, 4}}};
    ASSERT_EQ(list.size(), static_cast<qsizetype>(expected.size()));
    for (size_t at = 0; at < expected.size(); ++at) {
        const auto& [name, unit, values] = expected[at];
        const QJsonObject m = list[static_cast<qsizetype>(at)].toObject();
        EXPECT_EQ(m["name"], name);
        EXPECT_EQ(m["unit"], unit) << name;
        const QJsonArray got = m["values_per_frame"].toArray();
        ASSERT_EQ(got.size(), 3) << name;
        for (qsizetype t = 0; t < 3; ++t) {
            const double want = values[static_cast<size_t>(t)];
            if (std::isnan(want))
                EXPECT_TRUE(got[t].isNull()) << name << " frame " << t;
            else  // a label's edge is found to within a small step of a voxel
                EXPECT_NEAR(got[t].toDouble(), want, 0.05) << name << " frame " << t;
        }
    }
    const std::vector<uint8_t> bytes = ReadBytes(m_folder.File("c.csv"));
    const std::string csv(bytes.begin(), bytes.end());
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "frame,time_ms,label1_ml,label3_ml,label1_mesh_ml,label3_mesh_ml,"
              "d1_mm,a1_deg,s1_mm2,lv_mm,dot_mm,p_mm,value_at_position");
    // Frame 1: no label 3 (an empty field), the per-frame ruler's 2 mm.
    EXPECT_NE(csv.find(",10,90,24,8,,2,"), std::string::npos) << csv;
}

// A measurement file with a fault fails the run with one line naming the
// measurement (or the file) and the fault.
TEST_F(HeadlessTest, BadMeasurementFilesFailWithOneLine) {
    WriteLabels(m_folder, "labels.nii.gz");
    const std::string ok =
        R"({"name": "fine", "kind": "distance", "points_voxel": [[0, 0, 0], [1, 1, 1]]}, )";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {std::string("{\"measurements\": [") + ok +
             R"({"name": "d", "kind": "distance", "points_voxel": [[0,0,0],[24,0,0]]}]})",
         "b.json: measurement \"d\": point (24, 0, 0) is outside the volume"},
        {R"({"measurements": [{"name": "s", "kind": "area", "points_voxel": [[0,0,0],[1,0,0]]}]})",
         "measurement \"s\": a polygon needs at least 3 points, has 2"},
        {R"({"measurements": [{"name": "s", "kind": "area", "points_voxel": [[0,0,0],[2,0,0],[2,2,0],[0,2,1]]}]})",
         "measurement \"s\": polygon is not in one plane"},
        {R"({"measurements": [{"name": "v", "kind": "volume", "points_voxel": [[0,0,0],[1,0,0]]}]})",
         "measurement \"v\": unknown kind \"volume\""},
        {R"({"measurements": [{"name": "f", "kind": "distance", "points_voxel": [[0,0,0],[9,0,0]],
            "follow_label": 2}]})",
         "measurement \"f\": label 2 is not in the label image"},
        {R"({"measurements": [{"name": "a", "kind": "angle", "points_voxel": [[0,0,0],[1,0,0]]}]})",
         "measurement \"a\": an angle needs 3 points, has 2"},
        {R"({"measurements": [{"name": "d", "kind": "distance", "points_voxel": [[0,0,0],[1,0,0]],)",
         "b.json: not valid JSON"},
        {R"({"measurements": [{"name": "r", "kind": "distance", "points_ras": [[0,0,0],[1,0,0]]}]})",
         "measurement \"r\": RAS points need a volume with a patient geometry"},
        {R"({"measurements": [{"name": "p", "kind": "distance", "frames": {"0": [[0,0,0],[1,0,0]],
            "3": [[0,0,0]]}}]})",
         "measurement \"p\": a distance needs 2 points, has 1 in frame 3"},
        {R"({"measurements": [{"kind": "distance", "points_voxel": [[0,0,0],[1,0,0]]}]})",
         "measurement 1: has no name"},
        {R"([1, 2])", "b.json: expected an object with a \"measurements\" list"},
        // What the file says is quoted on the one line, never breaking it.
        {"{\"measurements\": [{\"name\": \"v\", \"kind\": \"dist\nance\", \"points_voxel\": []}]}",
         "measurement \"v\": unknown kind \"dist\\x0aance\""},
        {"{\"measurements\": [{\"name\": \"two\nlines\", \"kind\": \"distance\", \"points_voxel\": []}]}",
         "measurement \"two\\x0alines\": has a control character in its name"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteText(m_folder.File("b.json"), c.text));
        int status = -1;
        std::string errors;
        const std::string out =
            Run("--labels labels.nii.gz --measure b.json --info scan.tvi", status, &errors);
        EXPECT_EQ(status, 1) << c.text;
        EXPECT_EQ(out, "") << c.text;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.text << ": " << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << c.text << ": " << errors;
    }
}

// RAS points go through the file's transform: voxels of 2 x 3 x 5 mm turned
// about +z, so (1, 1, 1) lies at RAS (8.8, -3.6, 8) and (4, 5, 1) at (2.8, 8.4, 8),
// (6, 12) mm apart along the turned axes: sqrt(180) = 13.416 mm.
TEST_F(HeadlessTest, MeasurementPointsInPatientMillimetres) {
    NiftiContents nifti = NiftiVolume(10, 10, 4, 2, DT_INT16, std::vector<int16_t>(800, 7));
    nifti.SetPixelSizes(2, 3, 5);
    nifti.sformCode = 1;
    const double rows[3][4] = {{1.2, -2.4, 0, 10}, {1.6, 1.8, 0, -7}, {0, 0, 5, 3}};
    std::copy(&rows[0][0], &rows[0][0] + 12, &nifti.srow[0][0]);
    ASSERT_TRUE(WriteNiftiFile(m_folder.File("oblique.nii"), nifti));
    ASSERT_TRUE(WriteText(m_folder.File("m.json"), R"({"measurements": [
        {"name": "ras", "kind": "distance", "points_ras": [[8.8, -3.6, 8], [2.8, 8.4, 8]]},
        {"name": "vox", "kind": "distance", "points_voxel": [[1, 1, 1], [4, 5, 1]]},
        {"name": "late", "kind": "distance", "frames_in": "ras", "frames": {"1": [[8.8, -3.6, 8], [2.8, 8.4, 8]]}}
    ]})"));
    int status = -1;
    std::string errors;
    const QJsonArray list =
        ParseJson(Run("--measure m.json --info oblique.nii", status, &errors))["measurements"].toArray();
    ASSERT_EQ(status, 0) << errors;
    ASSERT_EQ(list.size(), 3);
    for (const QJsonValue& m : list)
        for (const QJsonValue& value : m.toObject()["values_per_frame"].toArray())
            EXPECT_NEAR(value.toDouble(), std::sqrt(180.0), 1e-6)
                << m.toObject()["name"].toString().toStdString();
    // 30 mm beyond the first slice (k = -5.6) is outside the volume.
    ASSERT_TRUE(WriteText(m_folder.File("m.json"), R"({"measurements": [
        {"name": "far", "kind": "distance", "points_ras": [[8.8, -3.6, -25], [2.8, 8.4, 8]]}]})"));
    Run("--measure m.json --info oblique.nii", status, &errors);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors.find("measurement \"far\": point (8.8, -3.6, -25) is outside the volume"),
              std::string::npos)
        << errors;
}

namespace {

std::string ReadWhole(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// A workspace saved by --save-workspace renders the same picture and gives
// the same --info as the options it was made from, also once it and its
// files moved together to another folder; without a file it fails with one line.
TEST_F(HeadlessTest, AWorkspaceRendersItsReadingAgainWhereverItsFolderGoes) {
    WriteLabels(m_folder, "labels.nii.gz");
    ASSERT_TRUE(WriteText(m_folder.File("m.json"), R"({"measurements": [
        {"name": "d1", "kind": "distance", "points_voxel": [[0, 0, 0], [3, 4, 0]]},
        {"name": "lv", "kind": "distance", "points_voxel": [[0, 4, 2], [23, 4, 2]], "follow_label": 1},
        {"name": "p", "kind": "distance", "frames": {"0": [[0, 0, 0], [1, 0, 0]], "2": [[0, 0, 0], [2, 0, 0]]}}
    ]})"));
    const std::string reading =
        " --labels labels.nii.gz --measure m.json --window 120,200 --colormap hot --position 5,6,2 --frame 2"
        " --view xz --camera 30,20,180 --white-background --hide-planes y --lock-frame 1 --size 200x150 ";
    int status = -1;
    std::string errors;
    const std::string direct = Run(reading + "--snapshot direct.png --info scan.tvi", status, &errors);
    ASSERT_EQ(status, 0) << errors;
    Run(reading + "--save-workspace reading.orvanta scan.tvi", status, &errors);
    ASSERT_EQ(status, 0) << errors;
    for (const char* name : {"labels.nii.gz", "scan.tvi", "scan.obj"})
        EXPECT_NE(ReadWhole(m_folder.File("reading.orvanta")).find(std::string("\"") + name + "\""),
                  std::string::npos)
            << "kept beside the workspace, named relative to it: " << name;

    EXPECT_EQ(Run("reading.orvanta --snapshot again.png --info", status, &errors), direct) << errors;
    EXPECT_EQ(status, 0);
    const DecodedPng first = ReadPng(m_folder.File("direct.png"));
    ASSERT_EQ(first.width, 200u);
    EXPECT_EQ(ReadPng(m_folder.File("again.png")).rows, first.rows);

    // The folder moves whole; the reading comes back from where it went.
    const std::filesystem::path moved = m_folder.Path() / "moved";
    std::filesystem::create_directory(moved);
    for (const char* name : {"labels.nii.gz", "scan.tvi", "scan.obj", "reading.orvanta"})
        std::filesystem::rename(m_folder.Path() / name, moved / name);
    const std::string program = "cd '" + moved.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" ORVANTA_EXE "' ";
    EXPECT_EQ(RunCommand(program + "reading.orvanta --snapshot moved.png --info", &status), direct);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadPng((moved / "moved.png").string()).rows, first.rows);

    // Options beside the workspace win over it.
    const QJsonObject later = ParseJson(RunCommand(program + "reading.orvanta --frame 0 --info", &status));
    EXPECT_EQ(later["frame"], 0);

    std::filesystem::remove(moved / "labels.nii.gz");
    EXPECT_EQ(RunCommand(program + "reading.orvanta --snapshot gone.png 2>&1", &status),
              "orvanta: reading.orvanta: The workspace names files that are missing: labels.nii.gz.\n");
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(moved / "gone.png"));
}
