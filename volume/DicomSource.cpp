// Compiled with -ffp-contract=off: rescaled values must not depend on whether
// the compiler fuses a multiply and an add.

#include "DicomSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "CodeMapping.h"
#include "DicomCodec.h"
#include "DicomFolder.h"
#include "DicomStoredBits.h"
#include "DicomThumbnail.h"
#include "IsolatedRun.h"
#include "ParallelRanges.h"
#include "PathUtils.h"
#include "SampleRule.h"

namespace {

// A stored value through the image's rescale; this file is compiled without
// fused multiply-add, so the product is rounded before the sum in every build.
double Rescaled(double raw, double slope, double intercept) {
    return raw * slope + intercept;
}

using DecodedImage = CDicomCodec::Image;

// Calls visit(values, n) with the image's values as a pointer of their own
// type; throws for types that are not plain numbers.
// `count` values from frame `frame` of the decoded file.
template <typename Visit>
void VisitImageValues(const DecodedImage& image, int32_t frame, int64_t count, const std::string& path,
                      Visit visit) {
    if (image.type == EValueType::kUnknown)
        throw std::runtime_error(FileNameOfPath(path) + ": pixel data of " + image.typeName +
                                 " values cannot be shown");
    const size_t valueBytes = VisitValueType(image.type, [](auto value) { return sizeof value; });
    VisitValues(image.type,
                image.bytes.data() + static_cast<size_t>(frame) * static_cast<size_t>(count) * valueBytes,
                count, false, visit);
}

// A file whose pixel data the scan found plain, opened again for its frames.
class CPlainPixels {
public:
    CPlainPixels() = default;
    ~CPlainPixels() {
        if (m_fd >= 0) close(m_fd);
    }
    CPlainPixels(const CPlainPixels&) = delete;
    CPlainPixels& operator=(const CPlainPixels&) = delete;

    // False when the file cannot be opened or is no longer as scanned: of
    // another size, or with other bytes before its pixel data.
    bool Open(const std::string& path, const CDicomImageHeader::NativePixels& native) {
        m_native = native;
        m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info = {};
        std::array<unsigned char, 12> lead{};
        return m_fd >= 0 && fstat(m_fd, &info) == 0 &&
               static_cast<uint64_t>(info.st_size) == native.fileSize && native.offset >= lead.size() &&
               ReadAt(lead.data(), lead.size(), native.offset - lead.size()) && lead == native.lead;
    }

    // Frame `frame`, of `samples` values, as the only frame of `image`, with
    // the sign and stored bits the file gives; false when the file does not hold it.
    bool ReadFrame(int32_t frame, int64_t samples, DecodedImage& image) {
        const uint64_t bytes =
            static_cast<uint64_t>(samples) * static_cast<uint64_t>(m_native.bitsAllocated / 8);
        if (frame < 0 || bytes == 0 || static_cast<uint64_t>(frame) >= m_native.length / bytes) return false;
        image.bytes.resize(static_cast<size_t>(bytes));
        if (!ReadAt(image.bytes.data(), image.bytes.size(),
                    m_native.offset + static_cast<uint64_t>(frame) * bytes))
            return false;
        image.frames = 1;
        image.type = m_native.bitsAllocated == 8    ? EValueType::kUInt8
                     : m_native.bitsAllocated == 16 ? EValueType::kUInt16
                                                    : EValueType::kUInt32;
        KeepStoredBits(m_native.isSigned, static_cast<unsigned>(m_native.bitsStored),
                       static_cast<unsigned>(m_native.bitsStored - 1), image);
        return true;
    }

private:
    bool ReadAt(void* data, size_t size, uint64_t at) const {
        char* to = static_cast<char*>(data);
        while (size > 0) {
            const ssize_t got = pread(m_fd, to, size, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            to += got;
            at += static_cast<uint64_t>(got);
            size -= static_cast<size_t>(got);
        }
        return true;
    }

    int m_fd = -1;
    CDicomImageHeader::NativePixels m_native;
};

}  // namespace

CDicomSource::CDicomSource(const CDicomSeriesLayout& layout, const CDicomCodec* inProcessCodec)
    : m_inProcessCodec(inProcessCodec) {
    m_sizeX = layout.Columns();
    m_sizeY = layout.Rows();
    m_sizeZ = layout.Slices();
    m_frames = layout.Frames();
    m_calibration = layout.m_calibration;
    m_transform = layout.m_transform;
    for (size_t t = 0; !layout.m_slices.empty() && t < layout.m_slices[0].size(); ++t) {
        const std::optional<double>& trigger = layout.m_slices[0][t].triggerTime;
        if (!trigger) {
            m_frameTimes.clear();
            break;
        }
        m_frameTimes.push_back(*trigger);
    }
    // A multi-frame file is decoded once for all its frames.
    std::map<std::string, size_t> fileOfPath;
    for (const auto& slice : layout.m_slices)
        for (const CDicomImageHeader& header : slice) {
            const auto [at, added] = fileOfPath.emplace(header.path, m_files.size());
            if (added) m_files.push_back({header.path, {}, header.native});
            m_files[at->second].frames.emplace_back(header.frame, static_cast<int64_t>(m_images.size()));
            m_images.push_back({header.path, header.frame, header.rescaleSlope, header.rescaleIntercept});
        }
    // MONOCHROME1 images show their smallest values brightest.
    m_inverted = !layout.m_slices.empty() && layout.m_slices[0][0].photometric == "MONOCHROME1";
}

namespace {

namespace fs = std::filesystem;

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool HasMovies(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() > 4 && EndsWithIgnoringCase(name, ".avi")) return true;
    }
    return false;
}

COpenResult Refused(std::string reason, std::string subject = "") {
    COpenResult result;
    result.subject = std::move(subject);
    result.reason = std::move(reason);
    return result;
}

}  // namespace

bool CDicomSource::Recognises(const std::string& path) {
    return IsFolder(path) || (path.size() > 4 && EndsWithIgnoringCase(path, ".dcm")) ||
           CDicomFolder::ClaimsDicom(path);
}

COpenResult CDicomSource::OpenPath(const std::string& path, const COpenRequest& request) {
    const bool isFolder = IsFolder(path);
    std::string folderPath = isFolder ? path : fs::path(path).parent_path().string();
    if (folderPath.empty()) folderPath = ".";
    CDicomFolder folder;
    std::string error;
    if (!folder.Scan(folderPath, error, request.progress)) return Refused(error, "the DICOM folder " + path);
    if (folder.m_series.empty()) {
        COpenResult none = Refused("No DICOM images were found in " + folderPath + ".");
        // A folder of movies loads as one.
        none.tryNext = isFolder && HasMovies(path);
        return none;
    }

    int index = -1;
    if (!isFolder) {
        index = folder.SeriesOfFile(path);
        if (index < 0) return Refused(path + " is not a DICOM image that can be read.");
    } else if (!request.choice.empty()) {
        index = folder.FindChoice(request.choice, error);
        if (index < 0) return Refused("Cannot choose a series in " + path + ": " + error + ".");
    } else {
        int loadable = 0;
        for (const CDicomFolder::Series& each : folder.m_series) loadable += each.Loadable() ? 1 : 0;
        if (loadable <= 1 || !request.ask) {
            index = folder.DefaultChoice();
        } else {
            CChoiceTable table = folder.Table();
            table.caption = "Open DICOM Folder";
            table.question = path + " holds several series. Which one?";
            table.picture = [&folder](int row, CChoiceTable::Picture& picture) {
                std::string ignored;
                return row >= 0 && row < static_cast<int>(folder.m_series.size()) &&
                       CDicomThumbnail::Make(folder.m_series[static_cast<size_t>(row)],
                                             CChoiceTable::kPictureSide, picture, ignored);
            };
            index = request.ask(table);
            // Series that cannot be loaded are shown but cannot be chosen.
            if (!table.Choosable(index)) return Refused("No series was chosen; nothing was loaded.");
        }
    }

    CDicomFolder::Series& series = folder.m_series[static_cast<size_t>(index)];
    CDicomSeriesLayout layout;
    if (!series.Layout(layout, error)) return Refused(error, "the series " + series.Heading());
    auto source = std::make_unique<CDicomSource>(layout);
    source->m_subject = "the series " + series.Label();
    for (const CDicomFolder::Series& each : folder.m_series) source->m_seriesList.push_back(each.Info());
    if (series.stack) {
        for (const CDicomImageHeader& image : series.images)
            if (std::find(source->m_seriesUids.begin(), source->m_seriesUids.end(), image.seriesUid) ==
                source->m_seriesUids.end())
                source->m_seriesUids.push_back(image.seriesUid);
    } else {
        source->m_seriesUids.push_back(series.uid);
        source->m_seriesNumber = series.number;
        source->m_seriesDescription = series.description;
        source->m_imageKind = series.type == "phase" || series.type == "velocity" ? series.type : "";
    }
    source->m_title = ShortNameOfPath(isFolder ? path : folderPath) +
                      (series.description.empty() ? "" : " (" + series.description + ")");
    source->m_notes = layout.m_notes;
    source->m_unreadable = folder.m_unreadable;
    COpenResult result;
    result.source = std::move(source);
    return result;
}

void CDicomSource::Describe(CVolumeFileInfo& info) const {
    info.m_title = m_title;
    // The same series again without asking.
    info.m_reopenChoice = m_seriesUids.size() == 1 ? m_seriesUids[0] : "stack";
    info.m_imageKind = m_imageKind;
    info.m_fields.push_back({"series", m_seriesList});
    info.m_fields.push_back({"inverted", m_inverted});
    if (m_seriesUids.size() == 1) {
        info.m_fields.push_back({"series_uid", m_seriesUids[0]});
        if (!m_seriesDescription.empty()) info.m_fields.push_back({"series_description", m_seriesDescription});
        if (m_seriesNumber) info.m_fields.push_back({"series_number", double(*m_seriesNumber)});
    } else
        info.m_fields.push_back({"series_uid", m_seriesUids});
    info.m_notes = m_notes;
    info.m_frameTimes = m_frameTimes;
    if (!m_unreadable.empty()) {
        std::string files = "These files could not be read and were skipped:";
        for (const std::string& file : m_unreadable) files += "\n" + file;
        info.m_notes.push_back(files);
    }
}

void CDicomSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image / m_frames);
    t = static_cast<int32_t>(image % m_frames);
}

const uint16_t* CDicomSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    (void)count;
    (void)scratch;
    return m_codes->Data() + first;
}

std::optional<CSampleSource::CLentCodes> CDicomSource::LendCodes() const {
    if (m_codes->Data() == nullptr) return std::nullopt;
    return CLentCodes{m_codes->Data(), m_codes, nullptr};
}

CDicomSource::SharedCodes::~SharedCodes() {
    if (m_data) munmap(m_data, m_bytes);
}

void CDicomSource::SharedCodes::Allocate(int64_t count) {
    const size_t bytes = static_cast<size_t>(std::max<int64_t>(count, 1)) * sizeof(uint16_t);
    void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) throw std::bad_alloc();
    if (m_data) munmap(m_data, m_bytes);
    m_data = static_cast<uint16_t*>(data);
    m_bytes = bytes;
}

template <typename Work, typename Receive>
void CDicomSource::DecodeAll(const Progress& progress, Work work, Receive receive) const {
    const int64_t count = static_cast<int64_t>(m_images.size());
    const int64_t files = static_cast<int64_t>(m_files.size());
    int64_t done = 0;
    auto advance = [&] {
        if (progress) progress(static_cast<double>(++done) / static_cast<double>(files));
    };
    // The failure of the first image (in volume order) that could not be decoded.
    int64_t failedImage = count;
    std::string failure;
    auto fail = [&](int64_t f, const std::string& reason) {
        const File& file = m_files[static_cast<size_t>(f)];
        for (const auto& [frame, image] : file.frames)
            if (image < failedImage) {
                failedImage = image;
                failure = reason;
            }
    };
    DecodedImage image;

    // Plain pixel data is read here, a frame at a time: a reader process and
    // the library's second parse of the file cost more than such images do.
    // A file that is no longer as the scan found it goes to the readers.
    const int64_t imageSamples = int64_t{m_sizeX} * m_sizeY;
    std::vector<int64_t> forReaders;
    for (int64_t f = 0; f < files; ++f) {
        const File& file = m_files[static_cast<size_t>(f)];
        CPlainPixels plain;
        bool read = file.native && plain.Open(file.path, *file.native);
        for (size_t k = 0; read && k < file.frames.size(); ++k) {
            const auto& [frame, index] = file.frames[k];
            read = plain.ReadFrame(frame, imageSamples, image);
            if (!read) break;
            try {
                receive(index, work(index, image, 0));
            } catch (const std::runtime_error& e) {
                fail(f, e.what());
                break;
            }
        }
        if (read)
            advance();
        else
            forReaders.push_back(f);
    }

    if (!forReaders.empty()) {
        const CDicomCodec& codec = m_inProcessCodec != nullptr ? *m_inProcessCodec : CDicomCodec::Get();
        // As many reader processes as threads would be worth it.
        const int readers = WorthwhileThreads(SampleCount() * 2);
        // A reader holds one file's frames three times (file, decoded values,
        // their copy) at up to 8 bytes a value, besides the library itself.
        size_t mostFrames = 1;
        for (const File& file : m_files) mostFrames = std::max(mostFrames, file.frames.size());
        const int64_t memory =
            (int64_t{256} << 20) + 3 * 8 * int64_t{m_sizeX} * m_sizeY * static_cast<int64_t>(mostFrames);
        // Items are places in forReaders.
        auto fileOf = [&](int64_t item) -> const File& {
            return m_files[static_cast<size_t>(forReaders[static_cast<size_t>(item)])];
        };
        auto decode = [&](int64_t item) -> std::string {
            const File& file = fileOf(item);
            try {
                // Answers begin with + when the file was decoded, then each of its
                // frames' answers after its length; - before the reason it was not.
                try {
                    codec.Decode(file.path, m_sizeX, m_sizeY, image);
                    for (const auto& [frame, index] : file.frames)
                        if (frame < 0 || frame >= image.frames)
                            throw std::runtime_error(" holds fewer frames than its header announces");
                } catch (const std::exception& e) {
                    throw std::runtime_error(FileNameOfPath(file.path) + e.what());
                }
                std::string answer(1, '+');
                for (const auto& [frame, index] : file.frames) {
                    const std::string part = work(index, image, frame);
                    const uint64_t size = part.size();
                    answer.append(reinterpret_cast<const char*>(&size), sizeof size);
                    answer += part;
                }
                return answer;
            } catch (const std::exception& e) {
                std::string answer(1, '-');
                answer += e.what();
                return answer;
            }
        };
        auto answer = [&](int64_t item, const std::string& text) {
            const int64_t f = forReaders[static_cast<size_t>(item)];
            if (text.empty() || text[0] != '+') {
                fail(f, text.empty() ? "" : text.substr(1));
            } else {
                size_t at = 1;
                for (const auto& [frame, index] : fileOf(item).frames) {
                    uint64_t size = 0;
                    if (sizeof size > text.size() - at) break;
                    std::memcpy(&size, text.data() + at, sizeof size);
                    at += sizeof size;
                    if (size > text.size() - at) break;
                    receive(index, text.substr(at, static_cast<size_t>(size)));
                    at += static_cast<size_t>(size);
                }
            }
            advance();
        };
        auto died = [&](int64_t item) {
            fail(forReaders[static_cast<size_t>(item)],
                 FileNameOfPath(fileOf(item).path) +
                     " cannot be decoded: the DICOM library failed on it (the file may be damaged)");
        };
        std::string error;
        if (!CIsolatedRun::Run(0, static_cast<int64_t>(forReaders.size()), readers, decode, answer, died,
                               error, {.childMemory = memory, .inProcess = m_inProcessCodec != nullptr}))
            throw std::runtime_error(error);
    }
    if (failedImage < count) throw std::runtime_error(failure);
    if (progress) progress(1.0);
}

bool CDicomSource::Prepare(const Progress& progress, std::string& error) {
    if (m_prepared) return true;
    try {
        m_codes->Allocate(SampleCount());
        // The fast path may give up; the slower one then decodes everything again.
        if (!DecodeCodes(progress)) DecodeSamples(progress);
        m_prepared = true;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to decode " + std::to_string(m_images.size()) + " images";
        return false;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool CDicomSource::DecodeCodes(const Progress& progress) {
    const Image& first = m_images.front();
    const bool oneRescale = std::all_of(m_images.begin(), m_images.end(), [&first](const Image& image) {
        return image.slope == first.slope && image.intercept == first.intercept;
    });
    if (!oneRescale) return false;
    const int64_t imageSamples = int64_t{m_sizeX} * m_sizeY;
    // Each image answers with its type; the codes are usable when all are
    // integers of up to 16 bits and all signed or all unsigned.
    std::set<int> types;
    DecodeAll(
        progress,
        [&](int64_t index, const DecodedImage& image, int32_t frame) {
            uint16_t* codes = m_codes->Data() + index * imageSamples;
            VisitImageValues(image, frame, imageSamples, m_images[static_cast<size_t>(index)].path,
                             [&codes](const auto* values, int64_t n) {
                                 using T = std::remove_cv_t<std::remove_pointer_t<decltype(values)>>;
                                 if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
                                     for (int64_t i = 0; i < n; ++i)
                                         *codes++ = CCodeMapping::CodeOf(values[i]);
                             });
            return std::string(1, static_cast<char>(image.type));
        },
        [&](int64_t, const std::string& answer) { types.insert(answer.empty() ? -1 : answer[0]); });
    const std::set<int> unsignedTypes = {static_cast<int>(EValueType::kUInt8),
                                         static_cast<int>(EValueType::kUInt16)};
    const std::set<int> signedTypes = {static_cast<int>(EValueType::kInt8),
                                       static_cast<int>(EValueType::kInt16)};
    auto within = [&types](const std::set<int>& allowed) {
        return std::all_of(types.begin(), types.end(),
                           [&allowed](int type) { return allowed.count(type) > 0; });
    };
    if (!within(unsignedTypes) && !within(signedTypes)) return false;
    m_signedCodes = !within(unsignedTypes);
    m_codesAreSamples = !m_signedCodes && first.slope == 1.0 && first.intercept == 0.0;
    if (m_inverted) {
        // Codes follow the values linearly, so turning them over their range
        // turns the values, as long as every value is a number: a rescale
        // that overflows is left to the slower path, which shows such values black.
        uint16_t* codes = m_codes->Data();
        const int64_t count = SampleCount();
        const auto [low, high] = std::minmax_element(codes, codes + count);
        const CCodeMapping mapping(m_signedCodes, first.slope, first.intercept);
        if (!std::isfinite(mapping.ValueOf(*low)) || !std::isfinite(mapping.ValueOf(*high))) return false;
        const int sum = int{*low} + int{*high};
        for (int64_t i = 0; i < count; ++i) codes[i] = static_cast<uint16_t>(sum - codes[i]);
        m_codeInversion = sum;
    }
    return true;
}

double CDicomSource::ValueOfCode(uint16_t code) const {
    // MONOCHROME1 is shown turned over, but its values are what the file holds.
    if (m_rule) {
        const double shown = m_rule->ValueOf(code);
        return m_valueInversion ? *m_valueInversion - shown : shown;
    }
    if (m_codeInversion) code = static_cast<uint16_t>(*m_codeInversion - code);
    const Image& first = m_images.front();
    return CCodeMapping(m_signedCodes, first.slope, first.intercept).ValueOf(code);
}

void CDicomSource::MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) {
    const Image& first = m_images.front();
    CCodeMapping(m_signedCodes, first.slope, first.intercept).MapCodes(codeCounts, samples);
}

void CDicomSource::DecodeSamples(const Progress& progress) {
    const int64_t imageSamples = int64_t{m_sizeX} * m_sizeY;
    // Pass 1: the range of every value. Each image answers with its range and
    // whether it holds integers.
    struct Answer {
        CValueRange range;
        bool integers = true;
    };
    Answer all;
    DecodeAll(
        [&progress](double f) {
            if (progress) progress(0.5 * f);
        },
        [&](int64_t index, const DecodedImage& image, int32_t frame) {
            const Image& meta = m_images[static_cast<size_t>(index)];
            Answer answer;
            answer.integers = IsIntegerValueType(image.type);
            VisitImageValues(image, frame, imageSamples, meta.path, [&](const auto* values, int64_t n) {
                for (int64_t i = 0; i < n; ++i) {
                    const double v = Rescaled(static_cast<double>(values[i]), meta.slope, meta.intercept);
                    answer.range.Add(&v, 1);
                }
            });
            return std::string(reinterpret_cast<const char*>(&answer), sizeof answer);
        },
        [&](int64_t, const std::string& bytes) {
            Answer answer;
            if (bytes.size() != sizeof answer) return;
            std::memcpy(&answer, bytes.data(), sizeof answer);
            all.range.Merge(answer.range);
            all.integers = all.integers && answer.integers;
        });
    const CSampleRule& rule = m_rule.emplace(all.range, all.integers);
    // MONOCHROME1: each value turned over the range, which stays the same.
    const bool invert = m_inverted && all.range.HasFinite();
    const double inversionSum = invert ? all.range.Min() + all.range.Max() : 0.0;
    const double inversionSign = invert ? -1.0 : 1.0;
    if (invert) m_valueInversion = inversionSum;

    // Pass 2: every value to its sample.
    DecodeAll(
        [&progress](double f) {
            if (progress) progress(0.5 + 0.5 * f);
        },
        [&](int64_t index, const DecodedImage& image, int32_t frame) {
            const Image& meta = m_images[static_cast<size_t>(index)];
            uint16_t* out = m_codes->Data() + index * imageSamples;
            VisitImageValues(image, frame, imageSamples, meta.path, [&](const auto* values, int64_t n) {
                for (int64_t i = 0; i < n; ++i, ++out)
                    *out = rule.Sample(inversionSum + inversionSign * Rescaled(static_cast<double>(values[i]),
                                                                               meta.slope, meta.intercept));
            });
            return std::string();
        },
        [](int64_t, const std::string&) {});
    m_signedCodes = false;
    m_codesAreSamples = true;
}
