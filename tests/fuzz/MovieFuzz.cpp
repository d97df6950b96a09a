// The input is one to three AVI movies, cut apart at kSeparator. The first
// is read through CVekMovie frame by frame, then out of order; then all of
// them are put in a folder and loaded as the movie-folder volume, whose
// planes are asked for afterwards: each must come back unless a side of it
// is longer than any texture holds.

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzInput.h"
#include "MovieFolderSource.h"
#include "PlaneTexture.h"
#include "TimeVolume.h"
#include "VekMovie.h"
#include "VisError.h"

namespace {

const std::string kSeparator = "NEXTMOVIE";
constexpr size_t kMaxMovies = 3;
// Frames read in order at most; the out-of-order reads come on top.
constexpr uint32_t kMaxFramesInOrder = 16;

void CheckFrame(const CVekMovie& movie, const CVisRGBAByteImage& image) {
    FuzzCheck(image.HasMemory() && static_cast<uint32_t>(image.Width()) == movie.Width() &&
                  static_cast<uint32_t>(image.Height()) == movie.Height(),
              "a frame has not the movie's size");
}

void ReadMovie(const std::string& path) {
    CVekMovie movie(4);
    try {
        movie.Open(path.c_str(), CVekMovie::kOpenRead);
    } catch (const CVisError&) {
        return;
    }
    CVisRGBAByteImage image;
    try {
        for (uint32_t t = 0; t < movie.FrameCount() && t < kMaxFramesInOrder; ++t) {
            movie.ReadFrame(image, static_cast<int32_t>(t));
            CheckFrame(movie, image);
        }
    } catch (const CVisError&) {
    }
    // Seeks: the last frame, past the end, back to the start, the middle.
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(movie.FrameCount(), INT32_MAX));
    const auto pastEnd = static_cast<int32_t>(std::min<int64_t>(int64_t{count} + 5, INT32_MAX));
    for (int32_t index : {count - 1, pastEnd, 0, count / 2, -1}) {
        try {
            movie.ReadFrame(image, index);
            CheckFrame(movie, image);
        } catch (const CVisError&) {
        }
    }
    movie.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> movies = SplitInput(data, size, kSeparator, kMaxMovies);
    // One folder for every input; the folder load takes every movie it finds,
    // so the movies of a longer input before are removed.
    static const std::string prefix = ScratchPath("movies") + "/";
    std::filesystem::create_directory(prefix);
    for (size_t i = 0; i < kMaxMovies; ++i) {
        const std::string path = prefix + "slice" + std::to_string(i) + ".avi";
        if (i < movies.size())
            WriteInputFile(path, reinterpret_cast<const uint8_t*>(movies[i].data()), movies[i].size());
        else
            std::filesystem::remove(path);
    }

    ReadMovie(prefix + "slice0.avi");

    CTimeVolume volume;
    CMovieFolderSource source;
    source.Open(prefix);
    volume.Load(source, 1.0);
    const std::vector<CSkippedMovie>& skipped = source.Skipped();
    FuzzCheck(skipped.size() + static_cast<size_t>(volume.SizeZ()) == movies.size(),
              "every movie is a slice or skipped");
    for (const CSkippedMovie& movie : skipped) FuzzCheck(!movie.reason.empty(), "a skipped movie says why");
    for (int z = 0; z < volume.SizeZ(); ++z) {
        FuzzCheck(volume.SliceFrames(z) == volume.Frames(), "every slice has the volume's frames");
        for (int t = 0; t < volume.Frames(); ++t)
            FuzzCheck(volume.SliceValues(z, t).width == volume.SizeX() &&
                          volume.SliceValues(z, t).height == volume.SizeY(),
                      "a slice has not the volume's size");
    }
    const int32_t extents[3] = {volume.SizeX(), volume.SizeY(), volume.SizeZ()};
    for (int plane = 0; plane < 3; ++plane) {
        const bool fits = PlaneHasTexture(plane, extents[0], extents[1], extents[2]);
        for (int index : {0, extents[plane] - 1}) {
            for (int frame : {0, volume.Frames() - 1}) {
                CSliceImage image = volume.GetSlice(plane, index, frame, true);
                FuzzCheck((image.m_data != nullptr) == (volume.Frames() > 0 && index >= 0 && fits),
                          "a plane inside the volume comes back empty");
                FreeSliceImage(image);
            }
        }
    }
    return 0;
}
