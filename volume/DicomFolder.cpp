#include "DicomFolder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>
#include <type_traits>

#include "DicomCodec.h"
#include "IsolatedRun.h"

namespace {

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
    void Put(const std::vector<uint32_t>& values) {
        Put(static_cast<uint64_t>(values.size()));
        for (uint32_t value : values) Put(value);
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
    void Get(std::vector<uint32_t>& values) {
        uint64_t size = 0;
        Get(size);
        if (size > (m_bytes.size() - m_at) / sizeof(uint32_t)) throw std::length_error("short header record");
        values.resize(static_cast<size_t>(size));
        for (uint32_t& value : values) Get(value);
    }

    // Every field; GetAll reads them in the same order.
    void PutAll(const CDicomImageHeader& h) {
        Put(h.path), Put(h.frame), Put(h.stackId), Put(h.imageType), Put(h.seriesUid), Put(h.seriesNumber),
            Put(h.seriesDescription), Put(h.rows), Put(h.columns), Put(h.frames), Put(h.enhanced),
            Put(h.samplesPerPixel), Put(h.photometric), Put(h.position), Put(h.orientation),
            Put(h.pixelSpacing), Put(h.sliceThickness), Put(h.triggerTime), Put(h.temporalPosition),
            Put(h.acquisitionTime), Put(h.instanceNumber), Put(h.rescaleSlope), Put(h.rescaleIntercept),
            Put(h.inStackPosition), Put(h.dimensionIndex), Put(h.native);
    }
    void GetAll(CDicomImageHeader& h) {
        Get(h.path), Get(h.frame), Get(h.stackId), Get(h.imageType), Get(h.seriesUid), Get(h.seriesNumber),
            Get(h.seriesDescription), Get(h.rows), Get(h.columns), Get(h.frames), Get(h.enhanced),
            Get(h.samplesPerPixel), Get(h.photometric), Get(h.position), Get(h.orientation),
            Get(h.pixelSpacing), Get(h.sliceThickness), Get(h.triggerTime), Get(h.temporalPosition),
            Get(h.acquisitionTime), Get(h.instanceNumber), Get(h.rescaleSlope), Get(h.rescaleIntercept),
            Get(h.inStackPosition), Get(h.dimensionIndex), Get(h.native);
    }
};

// A header, however large its other elements, fits in this; a damaged file
// that announces gigabytes fails at once instead of having them cleared.
constexpr int64_t kHeaderReaderMemory = int64_t{256} << 20;

}  // namespace

bool CDicomFolder::ClaimsDicom(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char head[132] = {};
    if (!file.read(head, sizeof head)) return false;
    return std::string(head + 128, 4) == "DICM";
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

    // Headers are read in a few reader processes at once, so that a file the
    // DICOM library cannot cope with costs that file, not the program.
    const CDicomCodec* codec = m_inProcessCodec;
    try {
        if (codec == nullptr) codec = &CDicomCodec::Headers();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    const int readers = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(paths.size()) / 256, 1, 4));
    const auto count = static_cast<int64_t>(paths.size());
    // Per file, in path order: its headers (one per frame), or whether it claims DICOM but cannot be read.
    std::vector<std::vector<CDicomImageHeader>> headers(paths.size());
    std::vector<char> refused(paths.size(), 0);
    int64_t done = 0;
    auto read = [&](int64_t i) -> std::string {
        bool readable = false;
        const std::vector<CDicomImageHeader> frames =
            codec->ReadHeader(paths[static_cast<size_t>(i)], readable);
        HeaderBytes bytes;
        bytes.Put(static_cast<char>(!frames.empty() ? 'i' : readable ? 'o' : 'x'));
        bytes.Put(static_cast<uint64_t>(frames.size()));
        for (const CDicomImageHeader& frame : frames) bytes.PutAll(frame);
        return bytes.m_bytes;
    };
    auto receive = [&](int64_t i, const std::string& answer) {
        const auto at = static_cast<size_t>(i);
        HeaderBytes bytes{answer, 1};
        if (answer.empty() || (answer[0] == 'x' && ClaimsDicom(paths[at]))) {
            refused[at] = 1;
        } else if (answer[0] == 'i') {
            try {
                uint64_t count = 0;
                bytes.Get(count);
                // Each header takes more than a byte: a count beyond the answer is damage, not a size.
                if (count > answer.size()) throw std::length_error("short header record");
                headers[at].resize(static_cast<size_t>(count));
                for (CDicomImageHeader& frame : headers[at]) bytes.GetAll(frame);
            } catch (const std::exception&) {
                headers[at].clear();
                refused[at] = 1;
            }
        }
        if (progress && ++done % 64 == 0) progress(static_cast<double>(done) / static_cast<double>(count));
    };
    auto died = [&](int64_t i) { refused[static_cast<size_t>(i)] = 1; };
    if (!CIsolatedRun::Run(0, count, readers, read, receive, died, error,
                           {.childMemory = kHeaderReaderMemory, .inProcess = m_inProcessCodec != nullptr}))
        return false;
    std::vector<CDicomImageHeader> images;
    for (size_t i = 0; i < paths.size(); ++i) {
        for (CDicomImageHeader& frame : headers[i]) images.push_back(std::move(frame));
        if (refused[i]) m_unreadable.push_back(paths[i]);
    }
    if (progress) progress(1.0);
    GroupSeries(std::move(images));
    return true;
}

void CDicomFolder::GroupSeries(std::vector<CDicomImageHeader> images) {
    // A series splits by image type (magnitude, phase, velocity) and, for
    // enhanced images, by stack and by orientation: each part is one volume.
    using Key = std::tuple<std::string, std::string, std::string, size_t>;
    std::map<Key, Series> byUid;
    std::map<std::string, std::vector<std::array<double, 6>>> orientations;  // per series, type and stack
    for (CDicomImageHeader& image : images) {
        size_t plane = 0;
        if (image.enhanced && image.orientation) {
            auto& seen = orientations[image.seriesUid + '\x1f' + image.imageType + '\x1f' + image.stackId];
            while (plane < seen.size() &&
                   !CDicomSeriesLayout::SameOrientation(seen[plane], *image.orientation))
                ++plane;
            if (plane == seen.size()) seen.push_back(*image.orientation);
        }
        Series& series = byUid[Key{image.seriesUid, image.imageType, image.stackId, plane}];
        if (series.images.empty()) {
            series.uid = image.seriesUid;
            series.number = image.seriesNumber;
            series.description = image.seriesDescription;
            series.type = image.imageType;
            if (!image.stackId.empty()) series.part = "stack " + image.stackId;
            if (plane > 0)
                series.part +=
                    (series.part.empty() ? "" : ", ") + std::string("plane ") + std::to_string(plane + 1);
        }
        series.images.push_back(std::move(image));
    }
    // Parts are named only where a series has several.
    std::map<std::string, int> parts;
    for (const auto& [key, series] : byUid) ++parts[std::get<0>(key) + '\x1f' + std::get<1>(key)];
    for (auto& [key, series] : byUid)
        if (parts[std::get<0>(key) + '\x1f' + std::get<1>(key)] < 2) series.part.clear();
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
    // A series that cannot be loaded is still named by the size of its images.
    std::tie(rows, columns) = CDicomSeriesLayout::CommonSize(images);
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

namespace {

std::string NameOf(const CDicomFolder::Series& series) {
    std::string name = series.stack ? series.description
                                    : (series.number ? std::to_string(*series.number) : std::string("-"));
    if (!series.stack && !series.description.empty()) name += " " + series.description;
    const std::string kind = series.type == "phase" || series.type == "velocity" ? series.type : "";
    if (!kind.empty() || !series.part.empty())
        name += " (" + kind + (kind.empty() || series.part.empty() ? "" : ", ") + series.part + ")";
    return name;
}

std::string SizeOf(const CDicomFolder::Series& series) {
    return std::to_string(series.columns) + " x " + std::to_string(series.rows) + ", " +
           std::to_string(series.images.size()) + (series.images.size() == 1 ? " image" : " images");
}

}  // namespace

std::string CDicomFolder::Series::Heading() const {
    return NameOf(*this) + " (" + SizeOf(*this) + ")";
}

std::string CDicomFolder::Series::Label() const {
    std::string label = NameOf(*this) + ": " + SizeOf(*this) + ", ";
    if (layoutError.empty())
        label += std::to_string(slices) + (slices == 1 ? " slice x " : " slices x ") + std::to_string(frames) +
                 (frames == 1 ? " frame" : " frames");
    else
        label += "cannot be loaded: " + layoutError;
    return label;
}

CInfoRecord CDicomFolder::Series::Info() const {
    using Value = decltype(CInfoRecord::values)::value_type::second_type;
    const auto text = [](const std::string& value) { return value.empty() ? Value() : Value(value); };
    const auto count = [this](int32_t value) { return Loadable() ? Value(double(value)) : Value(); };
    CInfoRecord record;
    record.values = {{"label", Label()},
                     {"number", number ? Value(double(*number)) : Value()},
                     {"description", text(description)},
                     {"type", text(type)},
                     {"uid", text(uid)},
                     {"rows", double(rows)},
                     {"columns", double(columns)},
                     {"images", double(images.size())},
                     {"slices", count(slices)},
                     {"frames", count(frames)},
                     {"loadable", Loadable()},
                     {"reason", text(layoutError)}};
    return record;
}

CChoiceTable CDicomFolder::Table() const {
    CChoiceTable table;
    table.columns = {"No.", "Description", "Type", "Rows x columns", "Images", "Slices x frames"};
    for (const Series& series : m_series) {
        CChoiceTable::Row row;
        std::string description = series.description;
        if (!series.part.empty()) description += (description.empty() ? "(" : " (") + series.part + ")";
        row.cells = {series.stack ? std::string("stack") : series.number ? std::to_string(*series.number) : "-",
                     description,
                     series.type,
                     std::to_string(series.rows) + " x " + std::to_string(series.columns),
                     std::to_string(series.images.size()),
                     series.Loadable() ? std::to_string(series.slices) + " x " + std::to_string(series.frames)
                                       : "cannot be loaded: " + series.layoutError};
        row.refusal = series.layoutError;
        table.rows.push_back(std::move(row));
    }
    table.proposed = DefaultChoice();
    if (!table.Choosable(table.proposed)) table.proposed = -1;
    return table;
}

int CDicomFolder::DefaultChoice() const {
    int best = -1;
    for (size_t i = 0; i < m_series.size(); ++i) {
        const Series& series = m_series[i];
        if (series.stack) return static_cast<int>(i);
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const Series& chosen = m_series[static_cast<size_t>(best)];
        if (series.Loadable() != chosen.Loadable() ? series.Loadable()
                                                   : series.images.size() > chosen.images.size())
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
