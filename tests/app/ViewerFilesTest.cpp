#include <unistd.h>

#include <filesystem>
#include <memory>

#include "CommandTable.h"
#include "MovieTools.h"
#include "OffscreenView.h"
#include "PngReader.h"
#include "VekMovie.h"
#include "ViewerFixture.h"
#include "VisImage.h"
#include "ShownPlane.h"
#include "ViewerExports.h"

namespace {

// The viewer with a view that really draws, offscreen, for the commands that
// read the picture back.
class ViewerFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_view.Create(64, 48)) GTEST_SKIP() << "no offscreen OpenGL: " << m_view.ErrorText();
        m_viewer.SetBaseTitle("Orvanta");
    }
    // X x Y x Z x T voxels; every voxel of frame t is 40 * t + 10, except
    // that each slice's data column c adds c (so orientation shows).
    std::string WriteVolume(int x, int y, int z, int t, double px = 1, double py = 1, double pz = 1) {
        TviContents tvi = TviVolume(
            x, y, z, t, [](int xi, int yi, int zi, int ti) { return 40 * ti + 10 + xi + yi * 3 + zi; });
        tvi.SetCalibration(px, py, pz, 55);
        tvi.samples.back() = 255;
        const std::string path = m_folder.File("heart.tvi");
        EXPECT_TRUE(WriteTviFile(path, tvi));
        return path;
    }
    // The view's current frame, upright and as RGBA rows, as a PNG holds it.
    std::vector<std::vector<uint8_t>> ScreenRows() {
        int width = 0, height = 0;
        std::vector<uint8_t> pixels;
        EXPECT_TRUE(m_view.ReadFrameBuffer(width, height, pixels));
        std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
        for (int r = 0; r < height; ++r) {
            const uint8_t* source = &pixels[static_cast<size_t>(height - 1 - r) * width * 4];
            for (int c = 0; c < width; ++c) {
                const uint8_t* p = source + c * 4;
                rows[static_cast<size_t>(r)].insert(rows[static_cast<size_t>(r)].end(), {p[2], p[1], p[0], p[3]});
            }
        }
        return rows;
    }
    const std::vector<CRecordingDialogs::Message>& Messages() { return m_host.m_dialogs.m_messages; }

    TempFolder m_folder;
    CTestHost m_host;
    COffscreenView m_view;
    CViewer m_viewer{m_view, m_host};
};

}  // namespace

TEST_F(ViewerFilesTest, SaveDialogsProposeNamesAfterTheVolume) {
    m_viewer.Execute(kCmdSaveXYPlane);  // XY plane: nothing loaded, so disabled
    EXPECT_TRUE(m_host.m_dialogs.m_fileRequests.empty());
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 5);
    CViewerExports(m_viewer).OnSavePlane(2);
    CViewerExports(m_viewer).OnSaveSnapshot();
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 2));
    m_viewer.Navigation().SetPosition(7, m_viewer.State().m_y, m_viewer.State().m_z);
    m_viewer.Execute(kCmdSaveYZPlane);
    m_viewer.Execute(kCmdSaveTimeSequence);
    const auto& requests = m_host.m_dialogs.m_fileRequests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].initialName, "_xy005.png");
    EXPECT_EQ(requests[1].initialName, ".png");
    EXPECT_EQ(requests[2].initialName, m_folder.File("heart_yz007.png"));
    EXPECT_EQ(requests[2].filter, "PNG files (*.png)");
    EXPECT_EQ(requests[2].defaultExtension, "png");
    EXPECT_EQ(requests[3].initialName, m_folder.File("heart.avi"));
    EXPECT_EQ(requests[3].filter, "Movie files (*.avi)");
}

TEST_F(ViewerFilesTest, TheXYPlaneIsSavedAsStored) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 4));
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 2);
    m_viewer.Navigation().SetFrame(3);
    m_viewer.Navigation().SetLockedFrame(0);  // plane saves take t itself
    m_host.m_dialogs.m_fileAnswers = {m_folder.File("xy.png")};
    m_viewer.Execute(kCmdSaveXYPlane);
    const DecodedPng png = ReadPng(m_folder.File("xy.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_PALETTE);
    ASSERT_EQ(png.paletteEntries, 256);
    EXPECT_EQ(png.palette[77].red, 77);
    ASSERT_EQ(png.width, 8u);
    ASSERT_EQ(png.height, 6u);
    const ShownPlane slice(m_viewer.Volume().GetSlice(2, 2, 3, false));
    for (uint32_t r = 0; r < 6; ++r)
        for (uint32_t c = 0; c < 8; ++c) EXPECT_EQ(png.rows[r][c], slice.m_data[r * 8 + c]) << c << "," << r;
}

TEST_F(ViewerFilesTest, UprightPlanesAreFlippedAndStretchedByThePixelSizes) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 1, 1.0, 2.0, 5.0));
    for (int plane : {0, 1}) {
        const std::string path = m_folder.File(plane == 0 ? "yz.png" : "xz.png");
        ASSERT_TRUE(CViewerExports(m_viewer).SavePlane(plane, path));
        const DecodedPng png = ReadPng(path);
        ASSERT_TRUE(png.ok);
        CSliceImage slice = m_viewer.Volume().GetSlice(plane, plane == 0 ? m_viewer.State().m_x : m_viewer.State().m_y, 0, false);
        EXPECT_EQ(png.width, static_cast<uint32_t>(slice.m_width));
        // YZ: 5 / 1 (the x pixel size); XZ: 5 / 2.
        EXPECT_EQ(png.height, plane == 0 ? 20u : 10u);
        // The top of the picture is the top slice.
        for (int c = 0; c < slice.m_width; ++c) {
            EXPECT_EQ(png.rows.front()[static_cast<size_t>(c)], slice.m_data[3 * slice.m_width + c]);
            EXPECT_EQ(png.rows.back()[static_cast<size_t>(c)], slice.m_data[c]);
        }
        FreeSliceImage(slice);
    }
}

TEST_F(ViewerFilesTest, PlaneSavesThatCannotBeMadeSaySo) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 2));
    m_viewer.Navigation().SetFrame(5);  // past the volume's frames
    EXPECT_FALSE(CViewerExports(m_viewer).SavePlane(2, m_folder.File("none.png")));
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("none.png")));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].caption, "Error");
    m_viewer.Navigation().SetFrame(0);
    const std::string unwritable = m_folder.File("missing/xy.png");
    EXPECT_FALSE(CViewerExports(m_viewer).SavePlane(2, unwritable));
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_NE(Messages()[1].text.find(unwritable), std::string::npos);
}

TEST_F(ViewerFilesTest, TheSnapshotIsTheFrameOnScreen) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 2));
    m_viewer.Execute(kCmdIncreaseBrightness);  // brighter slices on screen
    const auto screen = ScreenRows();
    ASSERT_TRUE(CViewerExports(m_viewer).SaveSnapshot(m_folder.File("snap.png")));
    const DecodedPng png = ReadPng(m_folder.File("snap.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGBA);
    EXPECT_EQ(png.width, 64u);
    EXPECT_TRUE(png.rows == screen) << "the snapshot differs from the view";
}

TEST_F(ViewerFilesTest, MoviesHoldEveryFrameInOrderAtTheFrameRate) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 4));
    // The picture of each frame, drawn one by one.
    std::vector<std::vector<std::vector<uint8_t>>> expected;
    for (int t = 0; t < 4; ++t) {
        m_viewer.Navigation().SetFrame(t);
        m_viewer.RefreshView();
        expected.push_back(ScreenRows());
    }
    m_viewer.Navigation().SetFrame(2);
    m_viewer.Navigation().OnPingPong();
    const std::string path = m_folder.File("heart.avi");
    ASSERT_TRUE(CViewerExports(m_viewer).ExportMovie(path));
    EXPECT_EQ(m_viewer.State().m_t, 2) << "the frame returns to where it was";
    EXPECT_EQ(m_host.m_progress.front(), "begin 6");
    EXPECT_EQ(m_host.m_progress[3], "Frame 3 of 6");

    CVekMovie movie(4);
    movie.Open(path.c_str(), 0);
    ASSERT_EQ(movie.FrameCount(), 6u);
    const int order[] = {0, 1, 2, 3, 2, 1};
    for (int i = 0; i < 6; ++i) {
        CVisRGBAByteImage image;
        movie.ReadFrame(image, i);
        ASSERT_EQ(image.Width(), 64);
        bool same = true;
        for (int r = 0; r < 48 && same; ++r)
            for (int c = 0; c < 64 && same; ++c) {
                const auto& p = image.Pixel(c, r);
                const auto& e = expected[static_cast<size_t>(order[i])][static_cast<size_t>(r)];
                same = p.r == e[static_cast<size_t>(c) * 4] && p.g == e[static_cast<size_t>(c) * 4 + 1] &&
                       p.b == e[static_cast<size_t>(c) * 4 + 2];
            }
        EXPECT_TRUE(same) << "movie frame " << i << " is not frame " << order[i];
    }
    auto stream = ProbeVideoStream(path);
    EXPECT_EQ(stream["r_frame_rate"], "18/1");
    EXPECT_EQ(stream["nb_read_packets"], "6");

    m_viewer.Navigation().OnPingPong();
    CPreferenceValues values = m_viewer.CurrentPreferences();
    values.frameTimeMs = 40;
    m_viewer.ApplyPreferences(values);
    ASSERT_TRUE(CViewerExports(m_viewer).ExportMovie(path));
    stream = ProbeVideoStream(path);
    EXPECT_EQ(stream["r_frame_rate"], "25/1");
    EXPECT_EQ(stream["nb_read_packets"], "4");
}

TEST_F(ViewerFilesTest, AFailedOrCancelledExportKeepsTheOldMovie) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 4));
    const std::string path = m_folder.File("old.avi");
    ASSERT_TRUE(WriteText(path, "the movie the user had"));
    m_host.m_cancelAt = 2;
    m_viewer.Navigation().OnPlayStop();
    ASSERT_TRUE(m_host.m_timerRunning);
    EXPECT_FALSE(CViewerExports(m_viewer).ExportMovie(path));
    EXPECT_TRUE(m_host.m_timerRunning) << "playback goes on after the export";
    EXPECT_TRUE(m_viewer.State().m_playing);
    const std::vector<uint8_t> kept = ReadBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the movie the user had");
    EXPECT_TRUE(Messages().empty()) << "a cancel is not an error";

    m_host.m_cancelAt = -1;
    const std::string unwritable = m_folder.File("missing/new.avi");
    EXPECT_FALSE(CViewerExports(m_viewer).ExportMovie(unwritable));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].caption, "Orvanta");
    EXPECT_EQ(Messages()[0].text.rfind("Exception: \nsource file: ", 0), 0u) << Messages()[0].text;
    EXPECT_NE(Messages()[0].text.find("\nfunction name: "), std::string::npos);
    EXPECT_NE(Messages()[0].text.find("\nmessage: "), std::string::npos);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) ++files;
    EXPECT_EQ(files, 2) << "only heart.tvi and old.avi: no temporary file is left";
}

TEST_F(ViewerFilesTest, PreferencesApplyAsTheyChange) {
    m_viewer.LoadVolumeFile(WriteVolume(8, 6, 4, 4, 1.0, 1.0, 1.0));
    m_viewer.OnPreferences();  // cancelled
    EXPECT_EQ(m_host.m_preferencesShown.frameTimeMs, 55);
    EXPECT_EQ(m_host.m_preferencesShown.saturationPercent, 98);
    EXPECT_EQ(m_viewer.State().m_frameTimeMs, 55);

    // The frame time alone while playing restarts the timer.
    m_viewer.Navigation().OnPlayStop();
    m_host.m_acceptPreferences = true;
    m_host.m_preferenceAnswer = {100, 1.0, 1.0, 1.0, 98};
    m_viewer.Navigation().SetFrame(2);
    m_viewer.OnPreferences();
    EXPECT_EQ(m_host.m_timerPeriod, 100);
    EXPECT_TRUE(m_viewer.State().m_playing);
    EXPECT_EQ(m_viewer.State().m_t, 2);

    // Pixel sizes alone refresh the box.
    m_viewer.Navigation().OnPlayStop();
    m_host.m_preferenceAnswer = {100, 2.0, 3.0, 4.0, 98};
    m_viewer.OnPreferences();
    EXPECT_EQ(m_view.m_extent[1], 18.0);

    // A new saturation only shows the same codes anew: the file is not read
    // again, so the frame and the calibration just set stay.
    const uint16_t level = m_viewer.Volume().SaturationLevel();
    auto xyPlane = [&] {
        const ShownPlane plane(m_viewer.Volume().GetSlice(2, 0, 2, false));
        return std::vector<uint8_t>(plane.m_data, plane.m_data + plane.ByteCount());
    };
    const std::vector<uint8_t> before = xyPlane();
    m_host.m_preferenceAnswer = {100, 2.0, 3.0, 4.0, 50};
    m_viewer.OnPreferences();
    EXPECT_EQ(m_viewer.State().m_saturation, 0.5);
    EXPECT_EQ(m_viewer.State().m_t, 2);
    EXPECT_EQ(m_viewer.State().m_pixelSizeY, 3.0);
    EXPECT_LT(m_viewer.Volume().SaturationLevel(), level);
    EXPECT_NE(xyPlane(), before);
    CTimeVolume reloaded;
    ASSERT_TRUE(reloaded.LoadFile(m_viewer.State().m_volumePath, 0.5));
    EXPECT_EQ(m_viewer.Volume().SaturationLevel(), reloaded.SaturationLevel());

    // Without a file to load again the new saturation is kept for the next one.
    CTestHost host;
    CViewer fresh(m_view, host);
    host.m_acceptPreferences = true;
    host.m_preferenceAnswer = {55, 1.0, 1.0, 1.0, 70};
    fresh.OnPreferences();
    EXPECT_DOUBLE_EQ(fresh.State().m_saturation, 0.7);
    EXPECT_TRUE(host.m_dialogs.m_messages.empty());
}

TEST_F(ViewerFilesTest, StartingWithoutAFileLoadsTheFoldersMovies) {
    ASSERT_TRUE(WriteMovie(m_folder.File("b.avi"), 16, 16, PatternFrames(16, 16, 5)));
    ASSERT_TRUE(WriteMovie(m_folder.File("a.avi"), 16, 16, PatternFrames(16, 16, 6)));
    ASSERT_TRUE(WriteMovie(m_folder.File("c.avi"), 8, 8, PatternFrames(8, 8, 5)));
    ASSERT_TRUE(WriteText(m_folder.File("d.avi"), "not a movie"));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(m_folder.Path());
    m_viewer.OpenStartupFile("");
    std::filesystem::current_path(previous);

    EXPECT_EQ(m_viewer.Volume().SizeZ(), 2);
    EXPECT_EQ(m_viewer.Volume().Frames(), 5);
    EXPECT_EQ(m_viewer.State().m_x, 8);
    EXPECT_EQ(m_viewer.State().m_z, 1);
    EXPECT_EQ(m_host.m_title, "Orvanta");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].caption, "Error");
    EXPECT_NE(Messages()[0].text.find("c.avi"), std::string::npos);
    EXPECT_NE(Messages()[0].text.find("d.avi"), std::string::npos);
}

// The volume named at start-up loads while the window is made; the viewer
// takes it over only when it is the file and saturation it opens, and the
// result, or the refusal, is what loading it then would have given.
TEST_F(ViewerFilesTest, AStartupPreloadGivesWhatTheLoadWouldHave) {
    const std::string path = WriteVolume(6, 5, 4, 3);
    // Of the same size, with other voxels: taking its preload would show.
    const std::string other = m_folder.File("other.tvi");
    ASSERT_TRUE(WriteTviFile(other, TviVolume(6, 5, 4, 3, [](int x, int y, int, int) { return 9 * x + y; })));
    const std::string damaged = m_folder.File("damaged.tvi");
    std::filesystem::copy_file(path, damaged);
    std::filesystem::resize_file(damaged, std::filesystem::file_size(damaged) - 1);

    // Every voxel of every frame, as the planes through z hand them out.
    auto voxelsOf = [](const CTimeVolume& volume) {
        std::vector<uint8_t> voxels;
        for (int t = 0; t < volume.Frames(); ++t)
            for (int z = 0; z < volume.SizeZ(); ++z) {
                CSliceImage slice = volume.GetSlice(2, z, t, false);
                voxels.insert(voxels.end(), slice.m_data, slice.m_data + slice.m_width * slice.m_height);
                FreeSliceImage(slice);
            }
        return voxels;
    };
    CTimeVolume expected;
    ASSERT_TRUE(expected.LoadFile(path, CViewerState::kDefaultSaturation));
    CTimeVolume refused;
    ASSERT_FALSE(refused.LoadFile(damaged, CViewerState::kDefaultSaturation));

    const struct {
        const char* what;
        std::string preloaded;
        double saturation;
        std::string opened;
    } cases[] = {
        {"the file opened", path, CViewerState::kDefaultSaturation, path},
        {"another saturation", path, 0.5, path},
        {"another file", other, CViewerState::kDefaultSaturation, path},
        {"a damaged file", damaged, CViewerState::kDefaultSaturation, damaged},
    };
    for (const auto& c : cases) {
        CTestHost host;
        CViewer viewer(m_view, host);
        viewer.SetStartupPreload(std::make_unique<CStartupPreload>(c.preloaded, c.saturation));
        viewer.OpenStartupFile(c.opened);
        EXPECT_FALSE(viewer.StartupPreloadPending()) << c.what;
        if (c.opened == damaged) {
            ASSERT_EQ(host.m_dialogs.m_messages.size(), 1u) << c.what;
            EXPECT_EQ(host.m_dialogs.m_messages[0].text,
                      "Cannot load the time volume " + damaged + ":\n" + refused.LastError());
            EXPECT_EQ(viewer.Volume().SizeX(), 0) << c.what;
            continue;
        }
        EXPECT_TRUE(host.m_dialogs.m_messages.empty()) << c.what;
        EXPECT_EQ(viewer.Volume().SaturationLevel(), expected.SaturationLevel()) << c.what;
        EXPECT_EQ(voxelsOf(viewer.Volume()), voxelsOf(expected)) << c.what;
    }
}
