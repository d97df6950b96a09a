#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DicomSeriesLayout.h"
#include "SampleRule.h"
#include "SampleSource.h"
#include "VolumeFormat.h"

class CDicomCodec;

// The pixels of a sorted DICOM series for a volume load.
//
// Prepare decodes every image once, whatever its transfer syntax, into 16-bit
// codes held in memory (2 bytes per sample, next to the 1 byte per sample of
// the 8-bit volume; one decoded image per reader process on top). Integer data of up
// to 16 bits with one rescale for the whole series is kept as the raw value
// made order-preserving (signed values shifted by 32768), and MapCodes applies
// the value rule to the codes that occur. Anything else (wider or real-valued
// data, a rescale that changes between images) is decoded twice: once to find
// the value range, once to store the final samples.
class CDicomSource : public CSampleSource {
public:
    // `inProcessCodec` as for CDicomFolder: given, it decodes in this process.
    explicit CDicomSource(const CDicomSeriesLayout& layout, const CDicomCodec* inProcessCodec = nullptr);

    // True for what opens as DICOM: a folder, a .dcm file, or a file that
    // announces itself as DICOM.
    static bool Recognises(const std::string& path);
    // A folder's series (the one `request` names, else the only one, else
    // one the user picks) or, for one image file, the series it belongs to.
    // A folder without DICOM images leaves the path to a later format.
    static COpenResult OpenPath(const std::string& path, const COpenRequest& request);

    // The series list found, the series loaded, the title, the notes.
    void Describe(CVolumeFileInfo& info) const override;

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override;
    // Prepare may be called ahead of the load (so that a file that cannot be
    // decoded fails before the volume is touched); the load then finds it done.
    double PrepareWeight() const override { return m_prepared ? 0.0 : 1.0; }
    bool Prepare(const Progress& progress, std::string& error) override;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override;
    bool CodesAreSamples() const override { return m_codesAreSamples; }
    std::optional<CLentCodes> LendCodes() const override;
    void MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) override;
    double ValueOfCode(uint16_t code) const override;

private:
    struct Image {
        std::string path;
        int32_t frame = 0;  // of its file
        double slope = 1.0;
        double intercept = 0.0;
    };
    // Memory the decoding processes write the codes into.
    class SharedCodes {
    public:
        SharedCodes() = default;
        ~SharedCodes();
        SharedCodes(const SharedCodes&) = delete;
        SharedCodes& operator=(const SharedCodes&) = delete;
        // Throws std::bad_alloc when the memory cannot be had.
        void Allocate(int64_t count);
        uint16_t* Data() const { return m_data; }

    private:
        uint16_t* m_data = nullptr;
        size_t m_bytes = 0;
    };

    // Decodes every file: `work` gets each image's raw values (the decoded
    // file and the frame) and answers in bytes, which `receive` gets here.
    // Plain pixel data is read here; everything else is decoded in reader
    // processes (the decoder may fail on a damaged file in ways that would end
    // this process), where `work` then runs. Throws with the reason of the
    // first image that could not be decoded.
    template <typename Work, typename Receive>
    void DecodeAll(const Progress& progress, Work work, Receive receive) const;
    bool DecodeCodes(const Progress& progress);
    void DecodeSamples(const Progress& progress);

    const CDicomCodec* m_inProcessCodec = nullptr;
    std::vector<Image> m_images;  // slice-major, frames within slices
    // The files the images come from, each with its frames: (frame of the file, image).
    struct File {
        std::string path;
        std::vector<std::pair<int32_t, int64_t>> frames;
        // Where its plain pixel data lies, when the scan found it so.
        std::optional<CDicomImageHeader::NativePixels> native;
    };
    std::vector<File> m_files;
    // What the folder held and which series this is: for Describe.
    std::vector<CInfoRecord> m_seriesList;
    std::vector<std::string> m_seriesUids;  // several for a stack of series
    // Of the one series loaded; none for a stack.
    std::optional<int> m_seriesNumber;
    std::string m_seriesDescription;
    // "phase" or "velocity" for a series of such images; "" otherwise.
    std::string m_imageKind;
    std::string m_title;
    std::vector<std::string> m_notes;
    std::vector<std::string> m_unreadable;
    std::vector<double> m_frameTimes;  // the first slice's trigger times, when every frame has one
    // Lent to the volume once decoded, so they are kept rather than copied.
    std::shared_ptr<SharedCodes> m_codes = std::make_shared<SharedCodes>();
    bool m_prepared = false;
    bool m_codesAreSamples = false;
    bool m_signedCodes = false;
    bool m_inverted = false;  // MONOCHROME1: values are turned over their range
    // What the turned-over codes or values add up to with the file's own.
    std::optional<int> m_codeInversion;
    std::optional<double> m_valueInversion;
    // The rule the samples of the slower path were made by.
    std::optional<CSampleRule> m_rule;
};
