#include "DicomFolder.h"

#include <gdcmReader.h>
#include <gdcmStringFilter.h>
#include <gdcmTrace.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "IsolatedRun.h"
#include "ParallelRanges.h"

namespace {

// The tags the scan reads; everything else in a file is passed over.
const gdcm::Tag kAcquisitionTime(0x0008, 0x0032);
const gdcm::Tag kSeriesDescription(0x0008, 0x103e);
const gdcm::Tag kSliceThickness(0x0018, 0x0050);
const gdcm::Tag kTriggerTime(0x0018, 0x1060);
const gdcm::Tag kSeriesUid(0x0020, 0x000e);
const gdcm::Tag kSeriesNumber(0x0020, 0x0011);
const gdcm::Tag kInstanceNumber(0x0020, 0x0013);
const gdcm::Tag kImagePosition(0x0020, 0x0032);
const gdcm::Tag kImageOrientation(0x0020, 0x0037);
const gdcm::Tag kTemporalPosition(0x0020, 0x0100);
const gdcm::Tag kSamplesPerPixel(0x0028, 0x0002);
const gdcm::Tag kPhotometric(0x0028, 0x0004);
const gdcm::Tag kNumberOfFrames(0x0028, 0x0008);
const gdcm::Tag kRows(0x0028, 0x0010);
const gdcm::Tag kColumns(0x0028, 0x0011);
const gdcm::Tag kPixelSpacing(0x0028, 0x0030);
const gdcm::Tag kRescaleIntercept(0x0028, 0x1052);
const gdcm::Tag kRescaleSlope(0x0028, 0x1053);

const std::set<gdcm::Tag>& ScannedTags() {
    static const std::set<gdcm::Tag> tags = {
        kAcquisitionTime, kSeriesDescription, kSliceThickness, kTriggerTime,    kSeriesUid,
        kSeriesNumber,    kInstanceNumber,    kImagePosition,  kImageOrientation, kTemporalPosition,
        kSamplesPerPixel, kPhotometric,       kNumberOfFrames, kRows,           kColumns,
        kPixelSpacing,    kRescaleIntercept,  kRescaleSlope};
    return tags;
}

std::string Trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const size_t end = text.find_last_not_of(std::string(" \t\r\n\0", 5));
    return end == std::string::npos || end < begin ? "" : text.substr(begin, end - begin + 1);
}

// The numbers of a multi-valued decimal string "a\b\c"; nothing when any is not a number.
std::vector<double> Numbers(const std::string& text) {
    std::vector<double> numbers;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\\', start), text.size());
        std::string piece = Trimmed(text.substr(start, end - start));
        if (!piece.empty() && piece[0] == '+') piece.erase(0, 1);
        double value = 0.0;
        const auto [rest, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || rest != piece.data() + piece.size() || !std::isfinite(value))
            return {};
        numbers.push_back(value);
        start = end + 1;
    }
    return numbers;
}

std::optional<double> Number(const std::string& text) {
    const std::vector<double> numbers = Numbers(text);
    if (numbers.empty()) return std::nullopt;
    return numbers[0];
}

// A time of day HHMMSS.FFFFFF (or the old HH:MM:SS) in seconds.
std::optional<double> TimeOfDay(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    text = Trimmed(text);
    if (text.size() < 2 || text.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    if (whole.size() % 2 != 0 || whole.size() > 6) return std::nullopt;
    double seconds = 0.0;
    const double units[3] = {3600.0, 60.0, 1.0};
    for (size_t i = 0; i < whole.size(); i += 2) seconds += std::stoi(whole.substr(i, 2)) * units[i / 2];
    if (point != std::string::npos && point + 1 < text.size()) {
        const std::optional<double> fraction = Number("0" + text.substr(point));
        if (!fraction) return std::nullopt;
        seconds += *fraction;
    }
    return seconds;
}

int Whole(const std::optional<double>& value, int fallback) {
    if (!value || !(*value >= -2147483648.0 && *value <= 2147483647.0)) return fallback;
    return static_cast<int>(*value);
}

int32_t Whole(const std::optional<double>& value, int32_t fallback, int32_t maximum) {
    if (!value || !(*value >= 0.0 && *value <= maximum)) return fallback;
    return static_cast<int32_t>(*value);
}

// A header in bytes, to pass from the reader process to the scan.
class HeaderBytes {
public:
    std::string m_bytes;
    size_t m_at = 0;

    void Put(const std::string& text) {
        Put(static_cast<uint64_t>(text.size()));
        m_bytes += text;
    }
    template <typename T>
    void Put(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <typename T>
    void Put(const std::optional<T>& value) {
        Put(value.has_value());
        if (value) Put(*value);
    }

    void Get(std::string& text) {
        uint64_t size = 0;
        Get(size);
        if (size > m_bytes.size() - m_at) throw std::length_error("short header record");
        text = m_bytes.substr(m_at, size);
        m_at += size;
    }
    template <typename T>
    void Get(T& value) {
        if (sizeof value > m_bytes.size() - m_at) throw std::length_error("short header record");
        std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
        m_at += sizeof value;
    }
    template <typename T>
    void Get(std::optional<T>& value) {
        bool present = false;
        Get(present);
        value.reset();
        if (present) Get(value.emplace());
    }

    // Every field; GetAll reads them in the same order.
    void PutAll(const CDicomImageHeader& h) {
        Put(h.path), Put(h.seriesUid), Put(h.seriesNumber), Put(h.seriesDescription), Put(h.rows), Put(h.columns),
            Put(h.frames), Put(h.samplesPerPixel), Put(h.photometric), Put(h.position), Put(h.orientation),
            Put(h.pixelSpacing), Put(h.sliceThickness), Put(h.triggerTime), Put(h.temporalPosition),
            Put(h.acquisitionTime), Put(h.instanceNumber), Put(h.rescaleSlope), Put(h.rescaleIntercept);
    }
    void GetAll(CDicomImageHeader& h) {
        Get(h.path), Get(h.seriesUid), Get(h.seriesNumber), Get(h.seriesDescription), Get(h.rows), Get(h.columns),
            Get(h.frames), Get(h.samplesPerPixel), Get(h.photometric), Get(h.position), Get(h.orientation),
            Get(h.pixelSpacing), Get(h.sliceThickness), Get(h.triggerTime), Get(h.temporalPosition),
            Get(h.acquisitionTime), Get(h.instanceNumber), Get(h.rescaleSlope), Get(h.rescaleIntercept);
    }
};

}  // namespace

void CDicomFolder::SilenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    });
}

bool CDicomFolder::ClaimsDicom(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char head[132] = {};
    if (!file.read(head, sizeof head)) return false;
    return std::string(head + 128, 4) == "DICM";
}

std::optional<CDicomImageHeader> CDicomFolder::ReadHeader(const std::string& path, bool& readable) {
    SilenceLibrary();
    readable = false;
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    try {
        if (!reader.ReadSelectedTags(ScannedTags())) return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    readable = true;
    const gdcm::DataSet& data = reader.GetFile().GetDataSet();
    gdcm::StringFilter filter;
    filter.SetFile(reader.GetFile());
    auto text = [&](const gdcm::Tag& tag) { return data.FindDataElement(tag) ? Trimmed(filter.ToString(tag)) : ""; };

    CDicomImageHeader header;
    header.path = path;
    // Without a pixel matrix the file is no image: a directory, report or presentation state.
    header.rows = Whole(Number(text(kRows)), 0, 65535);
    header.columns = Whole(Number(text(kColumns)), 0, 65535);
    if (header.rows <= 0 || header.columns <= 0) return std::nullopt;
    header.seriesUid = text(kSeriesUid);
    if (const std::optional<double> number = Number(text(kSeriesNumber))) header.seriesNumber = Whole(number, 0);
    header.seriesDescription = text(kSeriesDescription);
    header.frames = Whole(Number(text(kNumberOfFrames)), 1, 1 << 30);
    header.samplesPerPixel = Whole(Number(text(kSamplesPerPixel)), 1, 65535);
    header.photometric = text(kPhotometric);
    const std::vector<double> position = Numbers(text(kImagePosition));
    if (position.size() == 3) header.position = {position[0], position[1], position[2]};
    const std::vector<double> orientation = Numbers(text(kImageOrientation));
    if (orientation.size() == 6)
        header.orientation = {orientation[0], orientation[1], orientation[2],
                              orientation[3], orientation[4], orientation[5]};
    const std::vector<double> spacing = Numbers(text(kPixelSpacing));
    if (spacing.size() == 2) header.pixelSpacing = {spacing[0], spacing[1]};
    header.sliceThickness = Number(text(kSliceThickness));
    header.triggerTime = Number(text(kTriggerTime));
    header.temporalPosition = Number(text(kTemporalPosition));
    header.acquisitionTime = TimeOfDay(text(kAcquisitionTime));
    header.instanceNumber = Number(text(kInstanceNumber));
    // An absent or zero slope means none: the values stay as stored.
    const std::optional<double> slope = Number(text(kRescaleSlope));
    if (slope && *slope != 0.0) header.rescaleSlope = *slope;
    header.rescaleIntercept = Number(text(kRescaleIntercept)).value_or(0.0);
    return header;
}

bool CDicomFolder::Scan(const std::string& folder, std::string& error, const Progress& progress) {
    namespace fs = std::filesystem;
    m_series.clear();
    m_unreadable.clear();
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
        error = folder + " is not a folder";
        return false;
    }
    std::vector<std::string> paths;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, code);
    for (; !code && entry != fs::recursive_directory_iterator(); entry.increment(code)) {
        std::error_code typeError;
        if (entry->is_directory(typeError)) {
            if (entry.depth() >= kMaxDepth) entry.disable_recursion_pending();
        } else if (entry->is_regular_file(typeError)) {
            paths.push_back(entry->path().string());
        }
    }
    if (code) {
        error = "cannot read the folder " + folder + ": " + code.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());

    // Headers are read in reader processes, a few threads' worth, so that a
    // file the DICOM library cannot cope with costs that file, not the program.
    SilenceLibrary();
    const int threads = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(paths.size()) / 256, 1, 4));
    std::vector<std::vector<CDicomImageHeader>> found(static_cast<size_t>(threads));
    std::vector<std::vector<std::string>> unreadable(static_cast<size_t>(threads));
    std::atomic<int64_t> done{0};
    const auto count = static_cast<int64_t>(paths.size());
    try {
    ParallelRanges(count, threads, [&](int part, int64_t begin, int64_t end) {
        auto& images = found[static_cast<size_t>(part)];
        auto& refused = unreadable[static_cast<size_t>(part)];
        auto read = [&](int64_t i) -> std::string {
            bool readable = false;
            const std::optional<CDicomImageHeader> header = ReadHeader(paths[static_cast<size_t>(i)], readable);
            HeaderBytes bytes;
            bytes.Put(static_cast<char>(header ? 'i' : readable ? 'o' : 'x'));
            if (header) bytes.PutAll(*header);
            return bytes.m_bytes;
        };
        auto receive = [&](int64_t i, const std::string& answer) {
            const std::string& path = paths[static_cast<size_t>(i)];
            HeaderBytes bytes{answer, 1};
            if (answer.empty() || (answer[0] == 'x' && ClaimsDicom(path))) {
                refused.push_back(path);
            } else if (answer[0] == 'i') {
                CDicomImageHeader header;
                try {
                    bytes.GetAll(header);
                    images.push_back(std::move(header));
                } catch (const std::exception&) {
                    refused.push_back(path);
                }
            }
            const int64_t finished = done.fetch_add(1, std::memory_order_relaxed) + 1;
            if (part == 0 && progress && finished % 64 == 0)
                progress(static_cast<double>(finished) / static_cast<double>(count));
        };
        auto died = [&](int64_t i) { refused.push_back(paths[static_cast<size_t>(i)]); };
        std::string runError;
        if (!CIsolatedRun::Run(begin, end, read, receive, died, runError)) throw std::runtime_error(runError);
    });
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    std::vector<CDicomImageHeader> images;
    for (size_t part = 0; part < found.size(); ++part) {
        for (CDicomImageHeader& header : found[part]) images.push_back(std::move(header));
        for (std::string& path : unreadable[part]) m_unreadable.push_back(std::move(path));
    }
    if (progress) progress(1.0);
    GroupSeries(std::move(images));
    return true;
}

void CDicomFolder::GroupSeries(std::vector<CDicomImageHeader> images) {
    std::map<std::string, Series> byUid;
    for (CDicomImageHeader& image : images) {
        Series& series = byUid[image.seriesUid];
        if (series.images.empty()) {
            series.uid = image.seriesUid;
            series.number = image.seriesNumber;
            series.description = image.seriesDescription;
        }
        series.images.push_back(std::move(image));
    }
    for (auto& [uid, series] : byUid) m_series.push_back(std::move(series));
    // Series Number order, series without a number last, then by UID (the map gave UID order).
    std::stable_sort(m_series.begin(), m_series.end(), [](const Series& a, const Series& b) {
        if (a.number.has_value() != b.number.has_value()) return a.number.has_value();
        return a.number && *a.number < *b.number;
    });
    for (Series& series : m_series) {
        CDicomSeriesLayout layout;
        series.Layout(layout, series.layoutError);
    }
    AddStack();
}

void CDicomFolder::AddStack() {
    // Groups of single-slice series that agree in size, orientation and frame count.
    std::vector<std::vector<const Series*>> groups;
    for (const Series& series : m_series) {
        if (!series.layoutError.empty() || series.slices != 1) continue;
        const bool placed = std::all_of(series.images.begin(), series.images.end(),
                                        [](const CDicomImageHeader& image) { return image.HasGeometry(); });
        if (!placed) continue;
        bool joined = false;
        for (auto& group : groups) {
            const Series& first = *group[0];
            if (first.rows == series.rows && first.columns == series.columns && first.frames == series.frames &&
                CDicomSeriesLayout::SameOrientation(*first.images[0].orientation, *series.images[0].orientation)) {
                group.push_back(&series);
                joined = true;
                break;
            }
        }
        if (!joined) groups.push_back({&series});
    }
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& group : groups) {
        if (group.size() < 2) break;
        Series stack;
        stack.stack = true;
        stack.description = "All " + std::to_string(group.size()) + " slices as one stack";
        for (const Series* series : group)
            stack.images.insert(stack.images.end(), series->images.begin(), series->images.end());
        CDicomSeriesLayout layout;
        // Only series at distinct positions make a stack: each must stay a slice of its own.
        if (!stack.Layout(layout, stack.layoutError) || stack.slices != static_cast<int32_t>(group.size()) ||
            !layout.m_notes.empty())
            continue;
        m_series.push_back(std::move(stack));
        return;
    }
}

bool CDicomFolder::Series::Layout(CDicomSeriesLayout& layout, std::string& error) {
    error.clear();
    if (!layout.Sort(images, error)) {
        slices = frames = 0;
        return false;
    }
    rows = layout.Rows();
    columns = layout.Columns();
    slices = layout.Slices();
    frames = layout.Frames();
    return true;
}

std::string CDicomFolder::Series::Label() const {
    std::string label = stack ? description : (number ? std::to_string(*number) : std::string("-"));
    if (!stack && !description.empty()) label += " " + description;
    label += ": " + std::to_string(columns) + " x " + std::to_string(rows) + ", " + std::to_string(images.size()) +
             (images.size() == 1 ? " image, " : " images, ");
    if (layoutError.empty())
        label += std::to_string(slices) + (slices == 1 ? " slice x " : " slices x ") + std::to_string(frames) +
                 (frames == 1 ? " frame" : " frames");
    else
        label += "cannot be loaded: " + layoutError;
    return label;
}

int CDicomFolder::DefaultChoice() const {
    int best = -1;
    for (size_t i = 0; i < m_series.size(); ++i) {
        if (m_series[i].stack) return static_cast<int>(i);
        if (best < 0 || m_series[i].images.size() > m_series[static_cast<size_t>(best)].images.size())
            best = static_cast<int>(i);
    }
    return best;
}

int CDicomFolder::FindChoice(const std::string& choice, std::string& error) const {
    if (choice == "stack") {
        for (size_t i = 0; i < m_series.size(); ++i)
            if (m_series[i].stack) return static_cast<int>(i);
        error = "the folder holds no single-slice series that form a stack";
        return -1;
    }
    if (!choice.empty() && choice.find_first_not_of("0123456789") == std::string::npos) {
        const size_t position = choice.size() > 9 ? 0 : std::stoul(choice);
        if (position >= 1 && position <= m_series.size()) return static_cast<int>(position - 1);
        error = "there is no series " + choice + ": the folder holds " + std::to_string(m_series.size());
        return -1;
    }
    for (size_t i = 0; i < m_series.size(); ++i)
        if (!m_series[i].stack && m_series[i].uid == choice) return static_cast<int>(i);
    error = "no series has the UID " + choice;
    return -1;
}

int CDicomFolder::SeriesOfFile(const std::string& path) const {
    // Found among the images scanned (the file itself is not read again here:
    // the DICOM library is only ever given files in reader processes).
    for (size_t i = 0; i < m_series.size(); ++i) {
        if (m_series[i].stack) continue;
        for (const CDicomImageHeader& image : m_series[i].images) {
            std::error_code error;
            if (std::filesystem::equivalent(image.path, path, error)) return static_cast<int>(i);
        }
    }
    return -1;
}
