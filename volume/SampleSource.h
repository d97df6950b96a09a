#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Affine.h"
#include "FileMapping.h"
#include "IntensityWindow.h"

// What a file says about its grid spacing and timing. A field is set only when
// the file carries a value for it; the volume keeps its earlier value otherwise.
struct CVolumeCalibration {
    std::optional<double> m_pixelSizeX;  // mm
    std::optional<double> m_pixelSizeY;
    std::optional<double> m_pixelSizeZ;
    std::optional<double> m_frameTime;  // ms
};

struct CVolumeFileInfo;

// The 16-bit sample each code stands for.
using SampleOfCode = std::array<uint16_t, 65536>;

// One image format's side of a volume load (CTimeVolume::Load does the rest).
//
// A load reads every sample twice: once to count the histogram that sets the
// saturation level, once to map the samples to 8 bits. A source hands its
// samples out in the order its file stores them, as X x Y images one after
// another (x fastest, then y), and says where each image belongs in the
// volume. It hands out 16-bit codes rather than samples: once every code has
// been counted, MapCodes turns each code into the sample it shows. So data
// whose samples depend on its whole value range (signed or scaled values)
// still costs two passes, not three.
class CSampleSource {
public:
    using Progress = std::function<void(double fraction)>;

    virtual ~CSampleSource() = default;

    // The grid. Set by the subclass before the load starts; every size > 0.
    int32_t m_sizeX = 0;
    int32_t m_sizeY = 0;
    int32_t m_sizeZ = 0;
    int32_t m_frames = 0;
    CVolumeCalibration m_calibration;
    // Where the voxels lie in the patient, when the file says.
    std::optional<CAffine> m_transform;

    // X * Y * Z * T.
    int64_t SampleCount() const {
        return int64_t{m_sizeX} * m_sizeY * m_sizeZ * m_frames;
    }

    // The volume slice z and frame t of image `image` (0-based, in file order).
    virtual void ImagePlace(int64_t image, int32_t& z, int32_t& t) const = 0;

    // How long Prepare takes, in passes over the samples (0: it does nothing),
    // so that the progress shown is spread fairly.
    virtual double PrepareWeight() const { return 0.0; }

    // Whatever must see all samples before counting can start (decompressing,
    // finding the value range of real-valued data). False, with `error` set,
    // when the samples cannot be had. `progress` hears 0 to 1.
    virtual bool Prepare(const Progress& progress, std::string& error) {
        (void)progress;
        (void)error;
        return true;
    }

    // The codes of samples [first, first + count) in file order (count at most
    // kMaxBlock). Returns a pointer to `count` codes: into the source's own
    // memory, or `scratch` (room for `count` codes) after filling it. Called
    // from several threads at once. Throws std::runtime_error when the data
    // cannot be read; the load then fails with its text.
    virtual const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const = 0;
    static constexpr int64_t kMaxBlock = int64_t{1} << 18;

    // Where the source holds every code as it is, in file order, once
    // prepared: the file's own pages (uncompressed 16-bit codes in the host's
    // byte order) or memory it decoded them into. The volume then keeps them
    // instead of a copy. Nothing otherwise.
    struct CLentCodes {
        const uint16_t* codes = nullptr;     // the code of sample 0
        std::shared_ptr<const void> owner;   // keeps them
        // The file they are the pages of, when they are: it may change under them.
        std::shared_ptr<const CFileMapping> file;
    };
    virtual std::optional<CLentCodes> LendCodes() const { return std::nullopt; }

    // Samples [first, end) are done with for this pass: their memory may go.
    virtual void Release(int64_t first, int64_t end) const {
        (void)first;
        (void)end;
    }

    // True when every code is its own sample; MapCodes is then not called and
    // the load takes its fastest path.
    virtual bool CodesAreSamples() const { return true; }

    // Called once, after counting, with how often each code occurred: fills
    // the sample of every code. Codes that never occurred may map anywhere.
    virtual void MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) {
        (void)codeCounts;
        for (size_t code = 0; code < samples.size(); ++code) samples[code] = static_cast<uint16_t>(code);
    }

    // The value in the file's own units each code stands for, once the load
    // is done: the code itself unless the format says otherwise.
    virtual double ValueOfCode(uint16_t code) const { return code; }

    // True when the codes are 8-bit grey levels already (0 to 255), shown as
    // they are: nothing is counted and no intensity window applies.
    virtual bool CodesAreGrey() const { return false; }

    // What a failed load of this source is called in its message; "" names
    // the format and the path ("the time volume a.tvi").
    std::string m_subject;

    // Adds what the file is beyond its path and calibration (a title, the
    // format's --info fields, notes for the user); called after the load.
    virtual void Describe(CVolumeFileInfo& info) const { (void)info; }
};
