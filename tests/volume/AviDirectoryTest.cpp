#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MovieTools.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "ShownPlane.h"
#include "MovieFolderSource.h"
#include "ShownPlane.h"

namespace {

// The blue byte of pixel (x, y) in frame t of movie `id`: different for
// neighbouring pixels, frames and movies, so a mixed-up slice shows.
uint8_t Blue(int id, int frame, int x, int y) {
    return static_cast<uint8_t>(x + 3 * y + 13 * frame + 71 * id);
}

// "m<id>.avi". Appended piece by piece: GCC 12 at -O2 takes `"m" + std::string`
// for an overlapping copy (-Wrestrict) where there is none.
std::string MovieName(int id) {
    std::string name = "m";
    name += std::to_string(id);
    name += ".avi";
    return name;
}

// An uncompressed movie whose green and red bytes differ from the blue one,
// so reading the wrong channel shows as well.
void WriteMovie(const std::string& path, int id, int frames, int width, int height) {
    std::vector<uint8_t> pixels;
    for (int t = 0; t < frames; ++t)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t blue = Blue(id, t, x, y);
                const int pixel[4] = {blue, blue ^ 0x55, blue ^ 0xaa, 255};
                pixels.insert(pixels.end(), pixel, pixel + 4);
            }
    ASSERT_TRUE(::WriteMovie(path, width, height, pixels));
}

// Every voxel of the slice against frame t of movie `id`; says where they first differ.
void ExpectFrame(const CSliceImage& slice, int id, int frame, int width, int height) {
    ASSERT_EQ(slice.m_width, width);
    ASSERT_EQ(slice.m_height, height);
    ASSERT_EQ(slice.m_bytesPerPixel, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(slice.m_data[y * width + x], Blue(id, frame, x, y))
                << "movie " << id << " frame " << frame << " pixel (" << x << ", " << y << ")";
}

void ExpectSizes(const CTimeVolume& volume, int x, int y, int z, int t) {
    EXPECT_EQ(volume.SizeX(), x);
    EXPECT_EQ(volume.SizeY(), y);
    EXPECT_EQ(volume.SizeZ(), z);
    EXPECT_EQ(volume.Frames(), t);
    }

// Appends the movies of the folder `prefix` names to `volume`; returns those left out.
std::vector<CSkippedMovie> LoadMovies(CTimeVolume& volume, const std::string& prefix) {
    CMovieFolderSource source;
    source.Open(prefix);
    volume.Load(source, 1.0);
    return source.Skipped();
}

std::string Reasons(const std::vector<CSkippedMovie>& skipped) {
    std::string text;
    for (const auto& movie : skipped) text += movie.path + ": " + movie.reason + "\n";
    return text;
}

}  // namespace

TEST(AviDirectory, MoviesBecomeZSlicesInNameOrderAndKeepTheCalibration) {
    TempFolder folder;
    WriteMovie(folder.File("b.avi"), 1, 5, 64, 48);
    WriteMovie(folder.File("a.avi"), 0, 5, 64, 48);
    CTimeVolume volume;
    CVolumeCalibration earlier;
    earlier.m_pixelSizeX = 1.5;
    earlier.m_frameTime = 40.0;
    volume.AdoptCalibration(earlier);
    const auto skipped = LoadMovies(volume, folder.Path().string() + "/");
    EXPECT_TRUE(skipped.empty()) << Reasons(skipped);
    ExpectSizes(volume, 64, 48, 2, 5);
    EXPECT_EQ(volume.PixelSizeX(), 1.5);
    EXPECT_EQ(volume.FrameTime(), 40.0);
    for (int z = 0; z < 2; ++z)
        for (int t = 0; t < 5; ++t) ExpectFrame(ShownPlane(volume.GetSlice(2, z, t, false)), z, t, 64, 48);

    // Three movies of 32 x 32: the XY plane at z = 2, frame 9 is the third movie's last frame.
    TempFolder three;
    for (int id = 0; id < 3; ++id) WriteMovie(three.File(MovieName(id)), id, 10, 32, 32);
    volume.Clear();
    EXPECT_TRUE(LoadMovies(volume, three.Path().string()).empty());  // no closing slash
    ExpectSizes(volume, 32, 32, 3, 10);
    const ShownPlane plane(volume.GetSlice(2, 2, 9, true));
    ExpectFrame(plane, 2, 9, 32, 32);
}

TEST(AviDirectory, VoxelIsTheBlueByteOfEachPixel) {
    TempFolder folder;
    // grey 77; blue 10, green 20, red 30 written by us; the same colour in 24 bits by ffmpeg.
    const std::vector<std::vector<uint8_t>> pixels = {
        {77, 77, 77, 255}, {10, 20, 30, 255}, {10, 20, 30, 255}};
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& pixel : pixels) {
        frames.emplace_back();
        for (int i = 0; i < 16 * 8; ++i)
            frames.back().insert(frames.back().end(), pixel.begin(), pixel.end());
    }
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteMovie(folder.File(MovieName(i)), 16, 8, frames[i]));
    ASSERT_TRUE(
        EncodeWithFfmpeg(frames[2], 16, 8, "bgra", "-c:v rawvideo -pix_fmt bgr24", folder.File("m2.avi")));

    CTimeVolume volume;
    const auto skipped = LoadMovies(volume, folder.Path().string() + "/");
    EXPECT_TRUE(skipped.empty()) << Reasons(skipped);
    ASSERT_EQ(volume.SizeZ(), 3);
    const uint8_t expected[3] = {77, 10, 10};
    for (int z = 0; z < 3; ++z)
        for (int i = 0; i < 16 * 8; ++i)
            ASSERT_EQ(ShownGrey(volume, z, 0, i), expected[z]) << "movie " << z << " byte " << i;
}

TEST(AviDirectory, NamesEndingInAviInAnyCaseSortedByBytes) {
    TempFolder folder;
    // Byte-wise: upper case before lower, "slice10" before "slice2", a UTF-8 name (0xC3...) last.
    const std::vector<std::string> names = {"Mixed.aVi", "UPPER.AVI", "slice10.avi", "slice2.avi",
                                            "\xC3\xA9.avi"};
    for (int id = static_cast<int>(names.size()) - 1; id >= 0; --id)
        WriteMovie(folder.File(names[id]), id, 2, 8, 4);
    // Neither a folder named like a movie nor other files count.
    std::filesystem::create_directory(folder.Path() / "folder.avi");
    ASSERT_TRUE(WriteBytes(folder.File("notes.txt"), {1, 2, 3}));
    ASSERT_TRUE(WriteBytes(folder.File("movie.avi.bak"), {1, 2, 3}));

    // The empty prefix searches the current folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    CTimeVolume volume;
    const auto skipped = LoadMovies(volume, "");
    std::filesystem::current_path(before);
    EXPECT_TRUE(skipped.empty()) << Reasons(skipped);
    ASSERT_EQ(volume.SizeZ(), 5);
    for (int z = 0; z < 5; ++z) ExpectFrame(ShownPlane(volume.GetSlice(2, z, 1, false)), z, 1, 8, 4);
}

TEST(AviDirectory, NoMovieLeavesTheVolumeEmpty) {
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("notes.txt"), {1, 2, 3}));
    CTimeVolume volume;
    EXPECT_TRUE(LoadMovies(volume, folder.Path().string() + "/").empty());
    ExpectSizes(volume, 0, 0, 0, 0);
    EXPECT_TRUE(LoadMovies(volume, folder.File("missing") + "/").empty());
    EXPECT_TRUE(LoadMovies(volume, folder.File("notes.txt")).empty());
    ExpectSizes(volume, 0, 0, 0, 0);
}

TEST(AviDirectory, UnusableMoviesAreSkippedAndTheShortestMovieSetsTheFrames) {
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a_garbage.avi"), std::vector<uint8_t>(1000, 0x5a)));
    ASSERT_TRUE(
        EncodeWithFfmpeg({}, 64, 48, "bgra", "-c:v rawvideo -pix_fmt bgra", folder.File("b_empty.avi")) ||
        std::filesystem::exists(folder.File("b_empty.avi")));
    WriteMovie(folder.File("c_ten.avi"), 2, 10, 64, 48);
    WriteMovie(folder.File("d_small.avi"), 3, 10, 32, 32);
    WriteMovie(folder.File("e_seven.avi"), 4, 7, 64, 48);
    // A movie cut off after a few frames: its header promises ten, the decoder runs dry.
    WriteMovie(folder.File("f_cut.avi"), 5, 10, 64, 48);
    std::vector<uint8_t> bytes = ReadBytes(folder.File("f_cut.avi"));
    bytes.resize(bytes.size() * 4 / 10);
    ASSERT_TRUE(WriteBytes(folder.File("f_cut.avi"), bytes));
    WriteMovie(folder.File("g_nine.avi"), 6, 9, 64, 48);

    CTimeVolume volume;
    const auto skipped = LoadMovies(volume, folder.Path().string() + "/");
    ASSERT_EQ(skipped.size(), 4u) << Reasons(skipped);
    EXPECT_EQ(skipped[0].path, folder.File("a_garbage.avi"));
    EXPECT_EQ(skipped[1].path, folder.File("b_empty.avi"));
    EXPECT_EQ(skipped[1].reason, "no frames");
    EXPECT_EQ(skipped[2].path, folder.File("d_small.avi"));
    EXPECT_EQ(skipped[2].reason, "frame size 32 x 32 differs from 64 x 48 of the first movie");
    EXPECT_EQ(skipped[3].path, folder.File("f_cut.avi"));
    for (const auto& movie : skipped) EXPECT_FALSE(movie.reason.empty()) << movie.path;

    ASSERT_EQ(volume.SizeZ(), 3);
    EXPECT_EQ(volume.Frames(), 7);
    const int ids[3] = {2, 4, 6};
    for (int z = 0; z < 3; ++z) {
        ASSERT_EQ(volume.SliceFrames(z), 7) << "z " << z;
        for (int t = 0; t < 7; ++t) ExpectFrame(ShownPlane(volume.GetSlice(2, z, t, false)), ids[z], t, 64, 48);
    }
    // The gathered planes read every z-slice at the last frame; one further is refused.
    for (int plane = 0; plane < 2; ++plane) {
        CSliceImage image = volume.GetSlice(plane, 5, 6, false);
        EXPECT_EQ(image.m_height, 3);
        FreeSliceImage(image);
        EXPECT_EQ(volume.GetSlice(plane, 5, 7, false).m_data, nullptr);
    }
}
