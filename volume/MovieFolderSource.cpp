#include "MovieFolderSource.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>

#include "PathUtils.h"
#include "VekMovie.h"

namespace {

namespace fs = std::filesystem;

// prefix + name of every regular file in the folder `prefix` names whose name
// ends in .avi in any case, sorted by bytes as unsigned values (what
// std::string's ordering does). A prefix that names no folder finds nothing.
std::vector<std::string> AviPathsIn(const std::string& prefix) {
    // A folder named without its closing slash still joins to its file names.
    const std::string head = prefix.empty() || prefix.back() == '/' ? prefix : prefix + '/';
    std::vector<std::string> paths;
    std::error_code error;
    fs::directory_iterator entry(prefix.empty() ? fs::path(".") : fs::path(prefix), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code typeError;
        if (EndsWithIgnoringCase(name, ".avi") && entry->is_regular_file(typeError))
            paths.push_back(head + name);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string SizeText(int32_t width, int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

void CMovieFolderSource::Open(const std::string& prefix, const Progress& progress) {
    m_prefix = prefix;
    const std::vector<std::string> paths = AviPathsIn(prefix);
    for (size_t i = 0; i < paths.size(); ++i) {
        if (progress) progress(static_cast<double>(i) / static_cast<double>(paths.size()));
        std::optional<std::string> reason = AddAviSlice(paths[i]);
        if (reason) m_skipped.push_back({paths[i], std::move(*reason)});
    }
    // Every slice keeps the frames of the shortest movie.
    const size_t frameBytes = static_cast<size_t>(m_sizeX) * static_cast<size_t>(m_sizeY);
    for (std::vector<uint8_t>& movie : m_movies) movie.resize(frameBytes * static_cast<size_t>(m_frames));
    m_sizeZ = static_cast<int32_t>(m_movies.size());
    if (m_sizeZ == 0) m_sizeX = m_sizeY = m_frames = 0;
    if (progress) progress(1.0);
}

std::optional<std::string> CMovieFolderSource::AddAviSlice(const std::string& path) {
    try {
        CVekMovie movie(4);
        movie.Open(path.c_str(), CVekMovie::kOpenRead);
        const auto width = static_cast<int32_t>(movie.Width());
        const auto height = static_cast<int32_t>(movie.Height());
        if (!m_movies.empty() && (width != m_sizeX || height != m_sizeY))
            return "frame size " + SizeText(width, height) + " differs from " + SizeText(m_sizeX, m_sizeY) +
                   " of the first movie";
        // The volume keeps no more frames than its shortest movie has, so
        // frames past those it already holds would be dropped again at once.
        uint32_t count = std::min<uint32_t>(movie.FrameCount(), std::numeric_limits<int32_t>::max());
        if (!m_movies.empty()) count = std::min(count, static_cast<uint32_t>(m_frames));
        if (count == 0) return std::string("no frames");

        // In increasing order every frame is decoded once; the image keeps its memory.
        CVisRGBAByteImage image;
        std::vector<uint8_t> frames;
        for (uint32_t t = 0; t < count; ++t) {
            movie.ReadFrame(image, static_cast<int32_t>(t));
            if (image.Width() != width || image.Height() != height)
                return "frame " + std::to_string(t) + " is " + SizeText(image.Width(), image.Height()) +
                       ", not " + SizeText(width, height);
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* pixel = image.PbFirstPixelInRow(y);
                // Byte 0 of a pixel is its blue byte; a grey movie has its level in every channel.
                for (int32_t x = 0; x < width; ++x, pixel += 4) frames.push_back(*pixel);
            }
        }
        m_movies.push_back(std::move(frames));
        m_sizeX = width;
        m_sizeY = height;
        m_frames = static_cast<int32_t>(count);
    } catch (const std::bad_alloc&) {
        return std::string("not enough memory");
    } catch (const std::exception& error) {
        const std::string text = error.what();
        return text.empty() ? std::string("cannot be read") : text;
    }
    return std::nullopt;
}

bool CMovieFolderSource::Recognises(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error) && !AviPathsIn(path).empty();
}

COpenResult CMovieFolderSource::OpenPath(const std::string& path, const COpenRequest& request) {
    auto source = std::make_unique<CMovieFolderSource>();
    source->Open(path, request.progress);
    if (source->m_sizeZ == 0 && !source->m_skipped.empty()) {
        std::string reason = "none of its movies can be read:";
        for (const CSkippedMovie& movie : source->m_skipped)
            reason += "\n" + movie.path + ": " + movie.reason;
        return FailedToOpen(EVolumeFormat::kMovieFolder, path.empty() ? "." : path, std::move(reason));
    }
    COpenResult result;
    result.source = std::move(source);
    return result;
}

void CMovieFolderSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image / m_frames);
    t = static_cast<int32_t>(image % m_frames);
}

const uint16_t* CMovieFolderSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    const int64_t movieSamples = int64_t{m_sizeX} * m_sizeY * m_frames;
    for (int64_t done = 0; done < count;) {
        const int64_t at = first + done;
        const uint8_t* movie = m_movies[static_cast<size_t>(at / movieSamples)].data();
        const int64_t offset = at % movieSamples;
        const int64_t n = std::min(count - done, movieSamples - offset);
        for (int64_t i = 0; i < n; ++i) scratch[done + i] = movie[offset + i];
        done += n;
    }
    return scratch;
}

void CMovieFolderSource::Describe(CVolumeFileInfo& info) const {
    // The movies of the current folder, loaded at start-up, have no name to show.
    info.m_title = m_prefix.empty() ? "" : ShortNameOfPath(m_prefix);
    if (m_skipped.empty()) return;
    std::string text = "These movies were skipped:";
    for (const CSkippedMovie& movie : m_skipped) text += "\n" + movie.path + ": " + movie.reason;
    info.m_warnings.push_back(text);
}
