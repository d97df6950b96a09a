// The command line's headless runs, through the real executable with no
// display, compared with what the viewer's own commands write.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "CommandLine.h"
#include "DicomWriter.h"
#include "MovieTools.h"
#include "OffscreenView.h"
#include "PngReader.h"
#include "ViewerFixture.h"

namespace {

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override {
        TviContents tvi;
        tvi.sizeX = 24;
        tvi.sizeY = 16;
        tvi.sizeZ = 6;
        tvi.frames = 3;
        tvi.pixelSizeX = tvi.pixelSizeY = 2.0;
        tvi.pixelSizeZ = 5.0;
        tvi.frameTime = 40;
        tvi.Allocate();
        for (size_t i = 0; i < tvi.samples.size(); ++i) tvi.samples[i] = static_cast<uint16_t>((i * 7) % 300);
        m_tvi = m_folder.File("scan.tvi");
        ASSERT_TRUE(WriteTviFile(m_tvi, tvi));
        std::ofstream obj(m_folder.File("scan.obj"));
        for (int frame = 0; frame < 3; ++frame) {
            const int first = frame * 3 + 1;
            obj << "g lv-0" << frame << "\nv 10 10 10\nv 30 10 10\nv 10 20 15\nf " << first << " " << first + 1
                << " " << first + 2 << "\n";
        }
    }
    // Runs orvanta with `arguments` and no display; returns its standard output.
    std::string Run(const std::string& arguments, int& status, std::string* errors = nullptr) {
        const std::string errorFile = m_folder.File("stderr.txt");
        const std::string output =
            RunCommand("cd '" + m_folder.Path().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" ORVANTA_EXE
                       "' " + arguments + " 2> '" + errorFile + "'",
                       &status);
        if (errors != nullptr) {
            std::ifstream in(errorFile);
            *errors = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return output;
    }

    TempFolder m_folder;
    std::string m_tvi;
};

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
    for (const char* expected :
         {"\"size\": [24, 16, 6]", "\"frames\": 3", "\"pixel_size_mm\": [2, 2, 5]", "\"frame_time_ms\": 40",
          "\"saturation\": 0.98", "\"objects\": 3", "\"last_frame\": 2", "\"vertices\": 9", "\"triangles\": 3",
          "\"frame\": 2", "\"last_frame_index\": 2", "scan.obj\""})
        EXPECT_NE(json.find(expected), std::string::npos) << expected << " not in " << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << "one JSON object on one line";
    EXPECT_EQ(json.front(), '{');

    const std::string meshesOnly = Run("--info scan.obj", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(meshesOnly.find("\"volume\": {\"path\": null, \"size\": [0, 0, 0]"), std::string::npos) << meshesOnly;
}

TEST_F(HeadlessTest, PicturesEqualWhatTheCommandsWrite) {
    InProcess viewer(m_tvi);
    if (!viewer.m_ready) GTEST_SKIP() << "no offscreen OpenGL";
    const std::string state = "--frame 1 --view xz --brightness 0.7 --no-bounding-box --wireframe";
    int status = -1;
    Run(state + " --snapshot cli.png --save-plane yz cli_yz.png scan.tvi", status);
    ASSERT_EQ(status, 0);

    CCommandLine commandLine;
    std::string error;
    ASSERT_TRUE(commandLine.Parse({"--frame", "1", "--view", "xz", "--brightness", "0.7", "--no-bounding-box",
                                   "--wireframe"},
                                  error));
    for (const auto& option : commandLine.state) CCommandLine::ApplyState(option, viewer.m_viewer);
    ASSERT_TRUE(viewer.m_viewer.SaveSnapshot(m_folder.File("gui.png")));
    ASSERT_TRUE(viewer.m_viewer.SavePlane(0, m_folder.File("gui_yz.png")));
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
        {"--info scan.TVI", 2, ".tvi"},
        {"--snapshot", 2, "needs an argument"},
    };
    for (const Case& c : cases) {
        int status = -1;
        std::string errors;
        Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
        EXPECT_LE(std::count(errors.begin(), errors.end(), '\n'), 2) << c.arguments << ": " << errors;
    }
    int status = -1;
    EXPECT_NE(Run("--help", status).find("Usage: orvanta"), std::string::npos);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Run("--version", status).rfind("orvanta ", 0), 0u);
}

TEST_F(HeadlessTest, RandomArgumentsNeverCrashTheParser) {
    const std::vector<std::string> words = {"--info",   "--size",   "--position", "--frame",   "--camera",
                                            "--view",   "xy",       "3d",         "1,2,3",     "640x480",
                                            "-1",       "1e308",    "nan",        "--hide-planes", "xyz",
                                            "",         ",",        "x",          "--save-plane",  "0x10",
                                            "--saturation", "101",  "--pixel-size", "0.001,1,1", "--select-object"};
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
            if (option.name == "position" || option.name == "camera" || option.name == "pixel-size") {
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
    ASSERT_EQ(std::system((std::string(ORVANTA_MAKE_DEMO) + " '" + m_folder.Path().string() + "' > /dev/null").c_str()),
              0);
    int status = -1;
    const std::string json =
        Run("--info --frame 4 --snapshot demo.png --save-plane xy demo_xy.png --export-avi demo.avi heart.tvi", status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(json.find("\"size\": [192, 192, 12], \"frames\": 20"), std::string::npos) << json;
    EXPECT_NE(json.find("\"objects\": 20, \"last_frame\": 19"), std::string::npos) << json;
    auto stream = ProbeVideoStream(m_folder.File("demo.avi"));
    EXPECT_EQ(stream["nb_read_packets"], "20");
    EXPECT_EQ(stream["r_frame_rate"], "18/1");

    InProcess viewer(m_folder.File("heart.tvi"));
    if (!viewer.m_ready) GTEST_SKIP() << "no offscreen OpenGL";
    viewer.m_viewer.m_t = 4;
    viewer.m_viewer.RefreshView();
    ASSERT_TRUE(viewer.m_viewer.SaveSnapshot(m_folder.File("gui.png")));
    ASSERT_TRUE(viewer.m_viewer.SavePlane(2, m_folder.File("gui_xy.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("demo.png")), ReadBytes(m_folder.File("gui.png")));
    EXPECT_EQ(ReadBytes(m_folder.File("demo_xy.png")), ReadBytes(m_folder.File("gui_xy.png")));
}

namespace {

TEST_F(HeadlessTest, DicomFolderSeriesAreListedAndChosen) {
    // Series 5: 2 slices x 3 frames; series 3: one image.
    for (int image = 0; image < 7; ++image) {
        DicomImageSpec spec;
        spec.values.assign(20, 100.0 + image);
        spec.seriesUid = image < 6 ? "1.2.6.5" : "1.2.6.3";
        spec.seriesNumber = image < 6 ? 5 : 3;
        spec.position = std::array<double, 3>{0.0, 0.0, image < 6 ? 4.0 * (image / 3) : 0.0};
        spec.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
        spec.triggerTime = 30.0 * (image % 3);
        std::filesystem::create_directories(m_folder.Path() / "dicom");
        ASSERT_TRUE(WriteDicomImage(m_folder.File("dicom/im" + std::to_string(image)), spec));
    }
    const std::string list =
        "\"series\": [\"3 cine: 5 x 4, 1 image, 1 slice x 1 frame\", \"5 cine: 5 x 4, 6 images, 2 slices x 3 frames\"]";
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
        EXPECT_NE(output.find("\"format\": \"dicom\""), std::string::npos) << output;
        EXPECT_NE(output.find(list), std::string::npos) << output;
        EXPECT_NE(output.find("\"series_uid\": \"" + std::string(c.uid) + "\""), std::string::npos) << output;
    }
    int status = -1;
    EXPECT_NE(Run("--info scan.tvi", status).find("\"format\": \"tvi\""), std::string::npos);
}

}  // namespace
