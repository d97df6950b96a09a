// Opening DICOM folders and files in the viewer: which series loads, what is
// asked, and what stays when a load is refused.

#include <filesystem>

#include "MovieTools.h"
#include "ShownPlane.h"
#include "ViewerFixture.h"
#include "ViewerExports.h"

namespace {

class ViewerDicomTest : public ViewerTest {
protected:
    // A series of `slices` x `frames` 5 x 4 images in `folder`, every pixel of slice z and frame t holding 10 z + t.
    void WriteSeries(const std::string& folder, const std::string& uid, int number, int slices, int frames) {
        DicomImageFields image;
        image.seriesUid = uid;
        image.seriesNumber = number;
        image.seriesDescription = "series " + std::to_string(number);
        image.pixelSpacing = std::array<double, 2>{0.75, 0.5};
        ASSERT_FALSE(WriteDicomSeries(folder, image, slices, frames, 7.0, 45.0).empty());
    }
    // Movies of 8 x 6 pixels, three frames each, in `folder`.
    static void WriteMovies(const std::string& folder, const std::vector<std::string>& names) {
        std::filesystem::create_directories(folder);
        for (const std::string& name : names)
            ASSERT_TRUE(WriteMovie(folder + "/" + name, 8, 6, std::vector<uint8_t>(8 * 6 * 4 * 3, 90)));
    }
};

TEST_F(ViewerDicomTest, SeveralSeriesAreOfferedAndTheChosenOneLoads) {
    const std::string folder = m_folder.File("study");
    WriteSeries(folder, "1.2.7.1", 4, 3, 2);
    WriteSeries(folder, "1.2.7.2", 2, 1, 5);
    struct Case {
        int answer;  // the list entry chosen
        int sizeZ, frames;
    };
    for (const Case& c : {Case{0, 1, 5}, Case{1, 3, 2}}) {
        m_host.m_dialogs.m_choiceAnswers = {c.answer};
        m_viewer.LoadVolume(folder);
        ASSERT_FALSE(m_host.m_dialogs.m_choiceRequests.empty());
        const auto& request = m_host.m_dialogs.m_choiceRequests.back();
        ASSERT_EQ(request.rows.size(), 2u);
        EXPECT_EQ(request.rows[0].cells,
                  (std::vector<std::string>{"2", "series 2", "", "4 x 5", "5", "1 x 5"}));
        EXPECT_EQ(request.rows[1].cells,
                  (std::vector<std::string>{"4", "series 4", "", "4 x 5", "6", "3 x 2"}));
        // The series with the most images is proposed.
        EXPECT_EQ(request.proposed, 1);
        EXPECT_EQ(m_viewer.Volume().SizeZ(), c.sizeZ);
        EXPECT_EQ(m_viewer.Volume().Frames(), c.frames);
        EXPECT_EQ(m_viewer.Volume().FileInfo().m_format, EVolumeFormat::kDicom);
    }
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    EXPECT_EQ(m_viewer.Volume().FileInfo().m_reopenChoice, "1.2.7.1");
    EXPECT_DOUBLE_EQ(m_viewer.State().m_pixelSizeX, 0.5);
    EXPECT_DOUBLE_EQ(m_viewer.State().m_pixelSizeY, 0.75);
    EXPECT_DOUBLE_EQ(m_viewer.State().m_pixelSizeZ, 7.0);
    EXPECT_EQ(m_viewer.State().m_frameTimeMs, 45);
    EXPECT_EQ(m_host.m_title, "Orvanta - study (series 4)");
    EXPECT_EQ(m_viewer.State().m_z, 1);

    // A file loads its own series without asking; a saturation change reads it again.
    const size_t asked = m_host.m_dialogs.m_choiceRequests.size();
    m_viewer.OpenStartupFile(folder + "/1.2.7.2-0-3.dcm");
    EXPECT_EQ(m_viewer.Volume().Frames(), 5);
    CPreferenceValues values = m_viewer.CurrentPreferences();
    values.saturationPercent = 50;
    m_viewer.ApplyPreferences(values);
    EXPECT_EQ(m_viewer.Volume().Frames(), 5);
    EXPECT_EQ(m_host.m_dialogs.m_choiceRequests.size(), asked);
}

TEST_F(ViewerDicomTest, RefusedLoadsKeepTheVolume) {
    const std::string tvi = WriteVolume("kept.tvi", 6, 5, 4, 3);
    const std::string empty = m_folder.File("empty");
    std::filesystem::create_directories(empty);
    const std::string study = m_folder.File("study");
    WriteSeries(study, "1.2.8.1", 1, 2, 2);
    WriteSeries(study, "1.2.8.2", 2, 2, 2);
    struct Case {
        const char* name;
        std::string path;
        std::string choice;  // m_seriesChoice
        int answer;          // for the list, if asked
        const char* words;
    };
    const std::vector<Case> cases = {
        {"an empty folder", empty, "", 0, "No DICOM images"},
        {"a choice that names no series", study, "7", 0, "there is no series 7"},
        {"the list cancelled", study, "", -1, "No series was chosen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_viewer.LoadVolumeFile(tvi);
        m_host.m_dialogs.m_messages.clear();
        m_host.m_dialogs.m_choiceAnswers = {c.answer};
        m_viewer.SetLoadSettings(m_viewer.State().m_saturation, c.choice);
        m_viewer.LoadVolume(c.path);
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find(c.words), std::string::npos)
            << m_host.m_dialogs.m_messages[0].text;
        EXPECT_EQ(m_viewer.Volume().SizeX(), 6);
        EXPECT_EQ(m_viewer.Volume().FileInfo().m_format, EVolumeFormat::kTvi);
        EXPECT_EQ(m_host.m_waitCursors, 0);
    }
}

TEST_F(ViewerDicomTest, AFolderOfMoviesLoadsAsMovies) {
    const std::string folder = m_folder.File("movies");
    WriteMovies(folder, {"a.avi", "b.AVI"});
    m_viewer.OnDropFiles({folder});
    EXPECT_EQ(m_viewer.Volume().SizeX(), 8);
    EXPECT_EQ(m_viewer.Volume().SizeZ(), 2);
    EXPECT_EQ(m_viewer.Volume().Frames(), 3);
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
}

TEST_F(ViewerDicomTest, OpenDicomFolderAsksForAFolder) {
    WriteSeries(m_folder.File("one"), "1.2.9.1", 1, 2, 3);
    m_host.m_dialogs.m_fileAnswers = {"", m_folder.File("one")};
    m_viewer.OnOpenDicomFolder();  // cancelled
    EXPECT_EQ(m_viewer.Volume().SizeX(), 0);
    m_viewer.OnOpenDicomFolder();
    EXPECT_EQ(m_host.m_dialogs.m_folderRequests.size(), 2u);
    EXPECT_EQ(m_viewer.Volume().SizeZ(), 2);
    EXPECT_EQ(m_viewer.Volume().Frames(), 3);
    // One series: nothing to choose.
    EXPECT_TRUE(m_host.m_dialogs.m_choiceRequests.empty());
}

// Every format's load ends the same way: a label image that no longer fits
// goes with its meshes, the path is recorded, and saved files are named after it.
TEST_F(ViewerDicomTest, EveryFormatDropsLabelsThatNoLongerFitAndRecordsItsPath) {
    const std::string tvi = WriteVolume("small.tvi", 4, 4, 2, 1);
    const std::string bigTvi = WriteVolume("big.tvi", 7, 5, 3, 2);
    const std::string series = m_folder.File("series");
    WriteSeries(series, "1.2.6.1", 3, 3, 2);
    const std::string movies = m_folder.File("movies");
    WriteMovies(movies, {"a.avi", "b.avi"});
    struct Case {
        const char* name;
        std::string path;
        const char* proposed;  // the snapshot name proposed
    };
    const std::vector<Case> cases = {
        {"a .tvi file", bigTvi, "big.png"},
        {"a DICOM folder", series, "series.png"},
        {"a movie folder", movies, "movies.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_viewer.LoadVolumeFile(tvi);
        std::vector<uint8_t> labels(4 * 4 * 2, 0);
        labels[5] = 1;
        CLabelImage image;
        std::string error;
        ASSERT_TRUE(image.Assign(labels.data(), 4, 4, 2, 1, error)) << error;
        ASSERT_TRUE(m_viewer.ShowLabels(std::move(image), m_folder.File("labels.nii")));
        ASSERT_GT(m_view.m_meshes.ObjectCount(), 0);

        m_viewer.OpenFile(c.path);
        ASSERT_NE(m_viewer.Volume().SizeX(), 4);
        EXPECT_TRUE(m_viewer.Labels().Image().Empty());
        EXPECT_EQ(m_view.m_meshes.ObjectCount(), 0);
        EXPECT_EQ(m_viewer.State().m_volumePath, c.path);
        m_host.m_dialogs.m_fileRequests.clear();
        CViewerExports(m_viewer).OnSaveSnapshot();
        ASSERT_EQ(m_host.m_dialogs.m_fileRequests.size(), 1u);
        EXPECT_EQ(m_host.m_dialogs.m_fileRequests[0].initialName, m_folder.File(c.proposed));
    }
}

// A series whose images cannot all be decoded is refused after the scan;
// the volume on screen stays.
TEST_F(ViewerDicomTest, ASeriesThatCannotBeDecodedKeepsTheVolume) {
    const std::string tvi = WriteVolume("kept.tvi", 6, 5, 4, 3);
    const std::string series = m_folder.File("cut");
    WriteSeries(series, "1.2.5.1", 5, 2, 1);
    const std::string damaged = series + "/1.2.5.1-1-0.dcm";
    std::filesystem::resize_file(damaged, std::filesystem::file_size(damaged) - 10);
    m_viewer.LoadVolumeFile(tvi);
    m_viewer.LoadVolume(series);
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("1.2.5.1-1-0.dcm"), std::string::npos)
        << m_host.m_dialogs.m_messages[0].text;
    EXPECT_EQ(m_viewer.Volume().SizeX(), 6);
    EXPECT_EQ(m_viewer.State().m_volumePath, tvi);
    EXPECT_EQ(m_host.m_title, "Orvanta - kept.tvi");
}

}  // namespace

// A phase series opens with the diverging map over a window centred on 0,
// as wide either side as its largest value; a magnitude series opens grey.
TEST_F(ViewerDicomTest, APhaseSeriesOpensDivergingAndCentred) {
    struct Case {
        const char* imageType;
        EColourMap map;
    };
    const Case cases[] = {{"ORIGINAL\\PRIMARY\\P\\ND", EColourMap::kDiverging},
                          {"ORIGINAL\\PRIMARY\\M\\ND", EColourMap::kGrey}};
    for (const Case& c : cases) {
        TempFolder folder;
        DicomImageFields image;
        image.pixels = DicomImageFields::Pixels::kInt16;
        image.imageType = c.imageType;
        // Velocities from -30 to +50 over the frames.
        const auto values = [](DicomImageFields& fields, int, int t) { fields.values.assign(20, 40.0 * t - 30.0); };
        ASSERT_EQ(WriteDicomSeries(folder.Path().string(), image, 1, 3, 0.0, 20.0, values).size(), 3u);
        m_viewer.LoadVolume(folder.Path().string());
        ASSERT_EQ(m_viewer.Volume().Frames(), 3) << c.imageType;
        EXPECT_EQ(m_view.m_colourMap, c.map) << c.imageType;
        EXPECT_EQ(m_view.m_showColourBar, c.map != EColourMap::kGrey) << c.imageType;
        if (c.map == EColourMap::kDiverging) {
            EXPECT_EQ(m_viewer.Volume().Window().center, 0.0);
            EXPECT_EQ(m_viewer.Volume().Window().width, 100.0);
            EXPECT_EQ(m_view.m_colourBarLow, -50.0);
            EXPECT_EQ(m_view.m_colourBarHigh, 50.0);
        } else {
            EXPECT_TRUE(m_viewer.Volume().WindowIsLoadDefault());
        }
    }
}

// MONOCHROME1 images show their smallest values brightest; a window keeps
// them so: the load default's own window gives its picture again.
TEST_F(ViewerDicomTest, AWindowKeepsMonochrome1TurnedOver) {
    TempFolder folder;
    DicomImageFields image;
    image.photometric = "MONOCHROME1";
    const auto values = [](DicomImageFields& fields, int, int) {
        fields.values.clear();
        for (int i = 0; i < 20; ++i) fields.values.push_back(10.0 * i);
    };
    ASSERT_EQ(WriteDicomSeries(folder.Path().string(), image, 1, 1, 0.0, 20.0, values).size(), 1u);
    m_viewer.LoadVolume(folder.Path().string());
    ASSERT_EQ(m_viewer.Volume().SizeX(), 5);
    const auto shown = [this] {
        std::vector<int> greys;
        for (int64_t at = 0; at < 20; ++at) greys.push_back(ShownGrey(m_viewer.Volume(), 0, 0, at));
        return greys;
    };
    const std::vector<int> before = shown();
    EXPECT_GT(before.front(), before.back()) << "value 0 brightest";
    ASSERT_TRUE(m_viewer.SetWindow(m_viewer.Volume().Window()));
    const std::vector<int> after = shown();
    for (size_t i = 0; i < after.size(); ++i) EXPECT_NEAR(after[i], before[i], 1) << "voxel " << i;
}
