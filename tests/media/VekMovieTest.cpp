#include "VekMovie.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "FfmpegLibrary.h"
#include "MovieTools.h"
#include "TempFolder.h"
#include "VisError.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 4;

// Largest difference of any byte, and where it is.
struct Difference {
    int largest = 0;
    size_t at = 0;
};

Difference Compare(const uint8_t* a, const uint8_t* b, size_t bytes) {
    Difference difference;
    for (size_t i = 0; i < bytes; ++i) {
        const int d = std::abs(a[i] - b[i]);
        if (d > difference.largest) difference = {d, i};
    }
    return difference;
}

std::string Where(const Difference& d) {
    const size_t pixel = d.at / 4;
    return "byte " + std::to_string(d.at % 4) + " of pixel (" + std::to_string(pixel % kWidth) + ", " +
           std::to_string(pixel / kWidth) + ") differs by " + std::to_string(d.largest);
}

// Reads every frame with our reader, front to back.
std::vector<uint8_t> ReadAllFrames(CVekMovie& movie) {
    std::vector<uint8_t> frames;
    for (uint32_t i = 0; i < movie.FrameCount(); ++i) {
        CVisRGBAByteImage image;
        movie.ReadFrame(image, -1);
        frames.insert(frames.end(), image.PbFirstPixelInRow(0), image.PbFirstPixelInRow(0) + image.ByteCount());
    }
    return frames;
}

template <class Action>
CVisError RaisedBy(Action action) {
    try {
        action();
    } catch (const CVisError& error) {
        return error;
    }
    ADD_FAILURE() << "no CVisError was raised";
    return CVisError("", 0, "", "", 0);
}

}  // namespace

TEST(VekMovie, WrittenMovieHasTheFixedHeaderAndKeyFrames) {
    TempFolder folder;
    const std::string path = folder.File("written.avi");
    ASSERT_TRUE(WriteMovie(path, kWidth, kHeight, PatternFrames(kWidth, kHeight, 5), 7));

    const AviStreamHeader header = ReadAviStreamHeader(path);
    ASSERT_TRUE(header.found);
    EXPECT_EQ(header.type, "vids");
    EXPECT_EQ(header.handler, 0u);
    EXPECT_EQ(header.scale, 1u);
    EXPECT_EQ(header.rate, 7u);
    EXPECT_EQ(header.length, 5u);
    EXPECT_EQ(header.formatSize, 40u);
    EXPECT_EQ(header.width, kWidth);
    EXPECT_EQ(header.height, kHeight);  // positive: stored bottom-up
    EXPECT_EQ(header.planes, 1);
    EXPECT_EQ(header.bitCount, 32);
    EXPECT_EQ(header.compression, 0u);

    auto stream = ProbeVideoStream(path);
    EXPECT_EQ(stream["codec_name"], "rawvideo");
    EXPECT_EQ(stream["codec_tag"], "0x0000");
    EXPECT_EQ(stream["r_frame_rate"], "7/1");
    EXPECT_EQ(stream["nb_read_packets"], "5");
    EXPECT_EQ(ProbePacketFlags(path), std::vector<std::string>(5, "K_"));
}

TEST(VekMovie, FfmpegAndOurReaderDecodeExactlyOurPixels) {
    TempFolder folder;
    const std::string path = folder.File("roundtrip.avi");
    const std::vector<uint8_t> expected = PatternFrames(kWidth, kHeight, 4, 128);
    ASSERT_TRUE(WriteMovie(path, kWidth, kHeight, expected, 25));

    const std::vector<uint8_t> byFfmpeg = DecodeWithFfmpeg(path);
    ASSERT_EQ(byFfmpeg.size(), expected.size());
    const Difference ffmpegDifference = Compare(byFfmpeg.data(), expected.data(), expected.size());
    EXPECT_EQ(ffmpegDifference.largest, 0) << Where(ffmpegDifference);

    CVekMovie movie(4);
    ASSERT_TRUE(movie.Open(path.c_str(), CVekMovie::kOpenRead));
    EXPECT_EQ(movie.FrameCount(), 4u);
    EXPECT_EQ(movie.Width(), static_cast<uint32_t>(kWidth));
    EXPECT_EQ(movie.Height(), static_cast<uint32_t>(kHeight));
    EXPECT_EQ(movie.PixelFormat(), evispixfmtRGBAByte);
    EXPECT_TRUE(movie.BottomUp());
    const std::vector<uint8_t> ours = ReadAllFrames(movie);
    ASSERT_EQ(ours.size(), expected.size());
    const Difference ourDifference = Compare(ours.data(), expected.data(), expected.size());
    EXPECT_EQ(ourDifference.largest, 0) << Where(ourDifference);
}

struct ForeignMovie {
    const char* name;
    const char* inputFormat;
    const char* options;
    int tolerance;        // against ffmpeg's own decoding (its colour conversion rounds differently)
    int sourceTolerance;  // against the frames encoded
    bool topDown;
};

void PrintTo(const ForeignMovie& movie, std::ostream* out) { *out << movie.name; }

class VekMovieReadsFfmpegMovies : public testing::TestWithParam<ForeignMovie> {};

TEST_P(VekMovieReadsFfmpegMovies, FramesMatchFfmpegsDecoding) {
    const ForeignMovie& kind = GetParam();
    TempFolder folder;
    const std::string path = folder.File(std::string(kind.name) + ".avi");
    const std::vector<uint8_t> source = PatternFrames(kWidth, kHeight, 6);
    ASSERT_TRUE(EncodeWithFfmpeg(source, kWidth, kHeight, kind.inputFormat, kind.options, path));
    const std::vector<uint8_t> reference = DecodeWithFfmpeg(path);
    ASSERT_EQ(reference.size(), 6 * kFrameBytes);

    CVekMovie movie(4);
    movie.Open(path.c_str(), CVekMovie::kOpenRead);
    ASSERT_EQ(movie.FrameCount(), 6u);
    EXPECT_EQ(movie.BottomUp(), !kind.topDown);
    const std::vector<uint8_t> ours = ReadAllFrames(movie);
    ASSERT_EQ(ours.size(), reference.size());
    for (size_t frame = 0; frame < 6; ++frame) {
        const Difference d = Compare(&ours[frame * kFrameBytes], &reference[frame * kFrameBytes], kFrameBytes);
        EXPECT_LE(d.largest, kind.tolerance) << "frame " << frame << ": " << Where(d);
    }
    // Upright and in order: close to the frames encoded (green alone runs 188
    // from top to bottom, so a turned picture is far off).
    for (size_t frame = 0; frame < 6; ++frame) {
        const Difference d = Compare(&ours[frame * kFrameBytes], &source[frame * kFrameBytes], kFrameBytes);
        EXPECT_LE(d.largest, kind.sourceTolerance) << "frame " << frame << ": " << Where(d);
    }
    // Alpha: none of these sources carries any, so every pixel is opaque.
    for (size_t i = 3; i < ours.size(); i += 4) ASSERT_EQ(ours[i], 255) << "alpha of byte " << i;

    // Going back and jumping ahead give the same pixels as reading in order.
    for (int32_t index : {4, 1, 2, 5, 0}) {
        CVisRGBAByteImage image;
        movie.ReadFrame(image, index);
        const Difference d = Compare(image.PbFirstPixelInRow(0), &ours[index * kFrameBytes], kFrameBytes);
        EXPECT_EQ(d.largest, 0) << "frame " << index << " read out of order: " << Where(d);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, VekMovieReadsFfmpegMovies,
    // A 256-colour palette cannot hold the ramps exactly, hence pal8's source tolerance.
    testing::Values(
        ForeignMovie{"bgra_top_down", "bgra", "-c:v rawvideo -pix_fmt bgra", 0, 0, true},
        ForeignMovie{"bgra_bottom_up", "bgra", "-vf vflip -c:v rawvideo -pix_fmt bgra -flipped_raw_rgb 1", 0, 0,
                     false},
        ForeignMovie{"bgr24", "bgra", "-vf vflip -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1", 0, 0, false},
        ForeignMovie{"pal8", "bgra", "-c:v rawvideo -pix_fmt pal8", 0, 90, true},
        ForeignMovie{"mjpeg", "bgra", "-c:v mjpeg -q:v 2", 3, 24, false},
        ForeignMovie{"ffv1", "bgra", "-c:v ffv1 -pix_fmt bgr0", 0, 0, false},
        ForeignMovie{"mpeg4", "bgra", "-c:v mpeg4 -q:v 2 -g 3", 6, 24, false}),
    [](const testing::TestParamInfo<ForeignMovie>& info) { return std::string(info.param.name); });

TEST(VekMovie, AlphaIsKeptUnlessEveryAlphaByteIsZero) {
    TempFolder folder;
    std::vector<uint8_t> transparent = PatternFrames(kWidth, kHeight, 2, 0);
    const std::string allZero = folder.File("zero.avi");
    ASSERT_TRUE(EncodeWithFfmpeg(transparent, kWidth, kHeight, "bgra", "-c:v rawvideo -pix_fmt bgra", allZero));
    transparent[kFrameBytes + 4 * 100 + 3] = 7;  // one pixel of the second frame
    const std::string oneSet = folder.File("one.avi");
    ASSERT_TRUE(EncodeWithFfmpeg(transparent, kWidth, kHeight, "bgra", "-c:v rawvideo -pix_fmt bgra", oneSet));

    CVekMovie movie(4);
    movie.Open(allZero.c_str(), CVekMovie::kOpenRead);
    std::vector<uint8_t> frames = ReadAllFrames(movie);
    for (size_t i = 3; i < frames.size(); i += 4) ASSERT_EQ(frames[i], 255) << "alpha of byte " << i;

    movie.Open(oneSet.c_str(), CVekMovie::kOpenRead);
    frames = ReadAllFrames(movie);
    EXPECT_EQ(frames[3], 255);  // the first frame has no alpha of its own
    EXPECT_EQ(frames[kFrameBytes + 4 * 100 + 3], 7);
    EXPECT_EQ(frames[kFrameBytes + 3], 0);
    EXPECT_EQ(frames[kFrameBytes + 4 * 101], transparent[kFrameBytes + 4 * 101]);
}

TEST(VekMovie, IndexPastTheEndReadsTheLastFrame) {
    TempFolder folder;
    const std::string path = folder.File("ten.avi");
    ASSERT_TRUE(WriteMovie(path, kWidth, kHeight, PatternFrames(kWidth, kHeight, 10)));
    const std::vector<uint8_t> last = PatternFrame(kWidth, kHeight, 9);
    CVekMovie movie(4);
    movie.Open(path.c_str(), CVekMovie::kOpenRead);
    CVisRGBAByteImage image;
    movie.ReadFrame(image, 1000);
    EXPECT_EQ(Compare(image.PbFirstPixelInRow(0), last.data(), kFrameBytes).largest, 0);
    EXPECT_EQ(movie.NextFrame(), 10u);
    movie.ReadFrame(image, -1);
    EXPECT_EQ(Compare(image.PbFirstPixelInRow(0), last.data(), kFrameBytes).largest, 0);
    movie.ReadFrame(image, 3);
    EXPECT_EQ(image.Pixel(0, 0).b, PatternFrame(kWidth, kHeight, 3)[0]);
    EXPECT_EQ(movie.NextFrame(), 4u);
}

TEST(VekMovie, FailuresRaiseTheirMessagesAndCodes) {
    TempFolder folder;
    const std::string path = folder.File("errors.avi");
    CVekMovie movie(4);
    movie.Open(path.c_str(), CVekMovie::kOpenWrite | CVekMovie::kOpenCreate);
    CVisRGBAByteImage big(CVisShape(0, 0, 64, 48));
    CVisRGBAByteImage small(CVisShape(0, 0, 32, 24));
    CVisImageBase grey(1, evispixfmtGrayByte, CVisShape(0, 0, 64, 48));

    CVisError error = RaisedBy([&] { movie.WriteFrame(grey, -1); });
    EXPECT_STREQ(error.what(), "Incorrect pixel type");
    EXPECT_EQ(error.ErrorCode(), static_cast<int32_t>(0x80070057));
    movie.WriteFrame(big, -1);
    error = RaisedBy([&] { movie.WriteFrame(small, -1); });
    EXPECT_STREQ(error.what(), "All images must be the same size");
    EXPECT_EQ(error.ErrorCode(), static_cast<int32_t>(0x80070057));
    // Frames are appended in order.
    error = RaisedBy([&] { movie.WriteFrame(big, 5); });
    EXPECT_STREQ(error.FullMessage(),
                 "Exception: \nsource file: VekMovie\nfunction name: \nmessage: Write to AVI stream failed");
    EXPECT_LT(error.ErrorCode(), 0);
    movie.WriteFrame(big, 1);
    movie.WriteFrame(big, -1);
    EXPECT_EQ(movie.NextFrame(), 3u);
    movie.Close();
    movie.Close();
    EXPECT_EQ(ProbeVideoStream(path)["nb_read_packets"], "3");

    movie.Open(path.c_str(), CVekMovie::kOpenRead);
    error = RaisedBy([&] { movie.ReadFrame(small, 0); });
    EXPECT_STREQ(error.what(), "Invalid input image");
    EXPECT_EQ(error.ErrorCode(), static_cast<int32_t>(0x80070057));

    const int32_t invalidImageLine = error.Line();

    error = RaisedBy([&] { movie.Open(folder.File("missing.avi").c_str(), CVekMovie::kOpenRead); });
    EXPECT_STREQ(error.what(), "AviFileOpen failed");
    // Each error names the line that raised it, not one inside a helper.
    EXPECT_GT(error.Line(), 0);
    EXPECT_GT(invalidImageLine, 0);
    EXPECT_NE(error.Line(), invalidImageLine);
    EXPECT_EQ(error.ErrorCode(), -ENOENT);  // FFmpeg's error value
    EXPECT_STREQ(error.SourceFile(), "VekMovie");
    EXPECT_STREQ(error.FunctionName(), "");

    ASSERT_TRUE(WriteBytes(folder.File("garbage.avi"), std::vector<uint8_t>(1000, 0x5a)));
    error = RaisedBy([&] { movie.Open(folder.File("garbage.avi").c_str(), CVekMovie::kOpenRead); });
    EXPECT_LT(error.ErrorCode(), 0);
}

TEST(VekMovie, MovieWithoutFramesRaisesOnRead) {
    TempFolder folder;
    const std::string path = folder.File("empty.avi");
    ASSERT_TRUE(EncodeWithFfmpeg({}, kWidth, kHeight, "bgra", "-c:v rawvideo -pix_fmt bgra", path) ||
                std::filesystem::exists(path));
    CVekMovie movie(4);
    movie.Open(path.c_str(), CVekMovie::kOpenRead);
    EXPECT_EQ(movie.FrameCount(), 0u);
    CVisRGBAByteImage image;
    const CVisError error = RaisedBy([&] { movie.ReadFrame(image, 0); });
    EXPECT_STREQ(error.what(), "Can't read avi frame");
    EXPECT_EQ(error.ErrorCode(), static_cast<int32_t>(0x80004005));
    EXPECT_FALSE(image.HasMemory());
}

TEST(VekMovie, ReferenceCountDeletesAtZero) {
    CVekMovie* movie = new CVekMovie(4);
    EXPECT_EQ(movie->AddRef(), 2);
    EXPECT_EQ(movie->Release(), 1);
    EXPECT_EQ(movie->Release(), 0);  // the sanitizer reports a leak if it was not deleted
}

// Past 1 GiB an AVI file needs the OpenDML extension (further RIFF parts and
// their index); 900 frames of 640 x 480 make 1.1 GB.
TEST(VekMovie, MovieLargerThanOneGibibyteReadsBack) {
    TempFolder folder;
    const std::string path = folder.File("large.avi");
    constexpr int kFrames = 900;
    CVekMovie movie(25);
    movie.Open(path.c_str(), CVekMovie::kOpenCreate | CVekMovie::kOpenWrite);
    CVisRGBAByteImage image(CVisShape(0, 0, 640, 480));
    std::memset(image.PbFirstPixelInRow(0), 0x40, image.ByteCount());
    // Each frame carries its number in its top-left and bottom-right pixels.
    auto stamp = [&](int frame) {
        image.Pixel(0, 0) = {static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8), 1, 2};
        image.Pixel(639, 479) = {3, static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8), 4};
    };
    for (int frame = 0; frame < kFrames; ++frame) {
        stamp(frame);
        movie.WriteFrame(image, -1);
    }
    movie.Close();
    ASSERT_GT(std::filesystem::file_size(path), uint64_t{1} << 30);

    EXPECT_EQ(ProbeVideoStream(path)["nb_read_packets"], std::to_string(kFrames));
    movie.Open(path.c_str(), CVekMovie::kOpenRead);
    EXPECT_EQ(movie.FrameCount(), static_cast<uint32_t>(kFrames));
    for (int frame : {kFrames - 1, 850, 3}) {
        CVisRGBAByteImage read;
        movie.ReadFrame(read, frame);
        stamp(frame);
        EXPECT_EQ(Compare(read.PbFirstPixelInRow(0), image.PbFirstPixelInRow(0), image.ByteCount()).largest, 0)
            << "frame " << frame;
    }
}

// FFmpeg that is missing, or a library that is not FFmpeg, is an error that
// names what is missing.
TEST(FfmpegLibrary, NamesTheLibraryOrFunctionThatIsMissing) {
    const struct {
        std::vector<const char*> libraries;
        const char* missing;
    } cases[] = {
        {{"libavformat.so.999"}, "libavformat.so.999"},
        {{"libz.so.1", "libavcodec.so.999"}, "libavcodec.so.999"},
        {{"libz.so.1"}, "it has no function av_buffer_alloc"},
    };
    for (const auto& c : cases) {
        try {
            CFfmpegLibrary library(c.libraries);
            ADD_FAILURE() << c.missing << " was not missed";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("FFmpeg cannot be loaded: ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.missing), std::string::npos) << e.what();
        }
    }
}
