// Compiled with -ffp-contract=off: rescaled values must not depend on whether
// the compiler fuses a multiply and an add.

#include "DicomSource.h"

#include <sys/mman.h>

#include <set>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <type_traits>

#include "DicomCodec.h"
#include "IsolatedRun.h"
#include "ParallelRanges.h"
#include "PathUtils.h"
#include "SampleRule.h"

namespace {

// A stored value through the image's rescale; this file is compiled without
// fused multiply-add, so the product is rounded before the sum in every build.
double Rescaled(double raw, double slope, double intercept) { return raw * slope + intercept; }

using DecodedImage = CDicomCodec::Image;
using ValueType = CDicomCodec::ValueType;

// Calls visit(values) with the image's values as a pointer of their own type;
// throws for types that are not plain numbers.
template <typename Visit>
void VisitValues(const DecodedImage& image, const std::string& path, Visit visit) {
    const char* data = image.bytes.data();
    switch (image.type) {
        case ValueType::kUInt8: visit(reinterpret_cast<const uint8_t*>(data)); break;
        case ValueType::kInt8: visit(reinterpret_cast<const int8_t*>(data)); break;
        case ValueType::kUInt16: visit(reinterpret_cast<const uint16_t*>(data)); break;
        case ValueType::kInt16: visit(reinterpret_cast<const int16_t*>(data)); break;
        case ValueType::kUInt32: visit(reinterpret_cast<const uint32_t*>(data)); break;
        case ValueType::kInt32: visit(reinterpret_cast<const int32_t*>(data)); break;
        case ValueType::kUInt64: visit(reinterpret_cast<const uint64_t*>(data)); break;
        case ValueType::kInt64: visit(reinterpret_cast<const int64_t*>(data)); break;
        case ValueType::kFloat32: visit(reinterpret_cast<const float*>(data)); break;
        case ValueType::kFloat64: visit(reinterpret_cast<const double*>(data)); break;
        default:
            throw std::runtime_error(FileNameOfPath(path) + ": pixel data of " +
                                     image.typeName +
                                     " values cannot be shown");
    }
}

bool IsIntegerType(ValueType type) {
    return type != ValueType::kFloat32 && type != ValueType::kFloat64;
}

}  // namespace

CDicomSource::CDicomSource(const CDicomSeriesLayout& layout, const CDicomCodec* inProcessCodec)
    : m_inProcessCodec(inProcessCodec) {
    m_sizeX = layout.Columns();
    m_sizeY = layout.Rows();
    m_sizeZ = layout.Slices();
    m_frames = layout.Frames();
    m_calibration = layout.m_calibration;
    for (const auto& slice : layout.m_slices)
        for (const CDicomImageHeader& header : slice)
            m_images.push_back({header.path, header.rescaleSlope, header.rescaleIntercept});
}

void CDicomSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image / m_frames);
    t = static_cast<int32_t>(image % m_frames);
}

const uint16_t* CDicomSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    (void)count;
    (void)scratch;
    return m_codes.Data() + first;
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
    const CDicomCodec& codec = m_inProcessCodec != nullptr ? *m_inProcessCodec : CDicomCodec::Get();
    const int64_t count = static_cast<int64_t>(m_images.size());
    const int threads = WorthwhileThreads(SampleCount() * 2);
    // A reader holds one image three times (file, decoded values, their copy)
    // at up to 8 bytes a value, besides the library itself.
    const int64_t memory = (int64_t{256} << 20) + 3 * 8 * int64_t{m_sizeX} * m_sizeY;
    std::atomic<int64_t> done{0};
    // The failure of the first image (in volume order) that could not be decoded.
    std::mutex failureLock;
    int64_t failedImage = count;
    std::string failure;
    auto fail = [&](int64_t image, const std::string& reason) {
        std::lock_guard<std::mutex> hold(failureLock);
        if (image < failedImage) {
            failedImage = image;
            failure = reason;
        }
    };
    ParallelRanges(count, threads, [&](int part, int64_t begin, int64_t end) {
        DecodedImage image;
        auto decode = [&](int64_t i) -> std::string {
            try {
                // Answers begin with + when the image was decoded, - before the reason it was not.
                const std::string& path = m_images[static_cast<size_t>(i)].path;
                try {
                    codec.Decode(path, m_sizeX, m_sizeY, image);
                } catch (const std::exception& e) {
                    throw std::runtime_error(FileNameOfPath(path) + e.what());
                }
                std::string answer(1, '+');
                answer += work(i, image);
                return answer;
            } catch (const std::exception& e) {
                std::string answer(1, '-');
                answer += e.what();
                return answer;
            }
        };
        auto answer = [&](int64_t i, const std::string& text) {
            if (text.empty() || text[0] != '+')
                fail(i, text.empty() ? "" : text.substr(1));
            else
                receive(part, i, text.substr(1));
            const int64_t finished = done.fetch_add(1, std::memory_order_relaxed) + 1;
            if (part == 0 && progress) progress(static_cast<double>(finished) / static_cast<double>(count));
        };
        auto died = [&](int64_t i) {
            fail(i, FileNameOfPath(m_images[static_cast<size_t>(i)].path) +
                        " cannot be decoded: the DICOM library failed on it (the file may be damaged)");
        };
        std::string error;
        if (!CIsolatedRun::Run(begin, end, decode, answer, died, error,
                               {.childMemory = memory, .inProcess = m_inProcessCodec != nullptr}))
            throw std::runtime_error(error);
    });
    if (failedImage < count) throw std::runtime_error(failure);
    if (progress) progress(1.0);
}

bool CDicomSource::Prepare(const Progress& progress, std::string& error) {
    if (m_prepared) return true;
    try {
        m_codes.Allocate(SampleCount());
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
    std::mutex typesLock;
    std::set<int> types;
    DecodeAll(
        progress,
        [&](int64_t index, const DecodedImage& image) {
            uint16_t* codes = m_codes.Data() + index * imageSamples;
            VisitValues(image, m_images[static_cast<size_t>(index)].path, [&](const auto* values) {
                using Value = std::remove_cv_t<std::remove_pointer_t<decltype(values)>>;
                if constexpr (std::is_integral_v<Value> && sizeof(Value) <= 2) {
                    constexpr int kShift = std::is_signed_v<Value> ? 32768 : 0;
                    for (int64_t i = 0; i < imageSamples; ++i)
                        codes[i] = static_cast<uint16_t>(static_cast<int32_t>(values[i]) + kShift);
                }
            });
            return std::string(1, static_cast<char>(image.type));
        },
        [&](int, int64_t, const std::string& answer) {
            std::lock_guard<std::mutex> hold(typesLock);
            types.insert(answer.empty() ? -1 : answer[0]);
        });
    const std::set<int> unsignedTypes = {static_cast<int>(ValueType::kUInt8), static_cast<int>(ValueType::kUInt16)};
    const std::set<int> signedTypes = {static_cast<int>(ValueType::kInt8), static_cast<int>(ValueType::kInt16)};
    auto within = [&types](const std::set<int>& allowed) {
        return std::all_of(types.begin(), types.end(), [&allowed](int type) { return allowed.count(type) > 0; });
    };
    if (!within(unsignedTypes) && !within(signedTypes)) return false;
    m_signedCodes = !within(unsignedTypes);
    m_codesAreSamples = !m_signedCodes && first.slope == 1.0 && first.intercept == 0.0;
    return true;
}

void CDicomSource::MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) {
    const Image& first = m_images.front();
    auto value = [&](size_t code) {
        const double raw = m_signedCodes ? static_cast<double>(code) - 32768.0 : static_cast<double>(code);
        return Rescaled(raw, first.slope, first.intercept);
    };
    CValueRange range;
    for (size_t code = 0; code < codeCounts.size(); ++code)
        if (codeCounts[code] != 0) {
            const double v = value(code);
            range.Add(&v, 1);
        }
    const CSampleRule rule(range, true);
    for (size_t code = 0; code < samples.size(); ++code) samples[code] = rule.Sample(value(code));
}

void CDicomSource::DecodeSamples(const Progress& progress) {
    const int64_t imageSamples = int64_t{m_sizeX} * m_sizeY;
    // Pass 1: the range of every value. Each image answers with its range and
    // whether it holds integers.
    struct Answer {
        CValueRange range;
        bool integers = true;
    };
    std::mutex rangeLock;
    Answer all;
    DecodeAll(
        [&progress](double f) {
            if (progress) progress(0.5 * f);
        },
        [&](int64_t index, const DecodedImage& image) {
            const Image& meta = m_images[static_cast<size_t>(index)];
            Answer answer;
            answer.integers = IsIntegerType(image.type);
            VisitValues(image, meta.path, [&](const auto* values) {
                for (int64_t i = 0; i < imageSamples; ++i) {
                    const double v = Rescaled(static_cast<double>(values[i]), meta.slope, meta.intercept);
                    answer.range.Add(&v, 1);
                }
            });
            return std::string(reinterpret_cast<const char*>(&answer), sizeof answer);
        },
        [&](int, int64_t, const std::string& bytes) {
            Answer answer;
            if (bytes.size() != sizeof answer) return;
            std::memcpy(&answer, bytes.data(), sizeof answer);
            std::lock_guard<std::mutex> hold(rangeLock);
            all.range.Merge(answer.range);
            all.integers = all.integers && answer.integers;
        });
    const CSampleRule rule(all.range, all.integers);

    // Pass 2: every value to its sample.
    DecodeAll(
        [&progress](double f) {
            if (progress) progress(0.5 + 0.5 * f);
        },
        [&](int64_t index, const DecodedImage& image) {
            const Image& meta = m_images[static_cast<size_t>(index)];
            uint16_t* out = m_codes.Data() + index * imageSamples;
            VisitValues(image, meta.path, [&](const auto* values) {
                for (int64_t i = 0; i < imageSamples; ++i)
                    out[i] = rule.Sample(
                        Rescaled(static_cast<double>(values[i]), meta.slope, meta.intercept));
            });
            return std::string();
        },
        [](int, int64_t, const std::string&) {});
    m_signedCodes = false;
    m_codesAreSamples = true;
}
