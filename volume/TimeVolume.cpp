#include "TimeVolume.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "PlaneGather.h"
#include "VolumeLoader.h"

namespace {

// True when grey levels are shown as they are (no window on them): their
// plane is then a copy.
bool IsGreyIdentity(const IntensityTable& table) {
    for (size_t level = 0; level < 256; ++level)
        if (table[level] != level) return false;
    return true;
}

}  // namespace

CTimeVolume::CTimeVolume() = default;

CTimeVolume::~CTimeVolume() = default;

void CTimeVolume::Clear() {
    m_slices.clear();
    m_loads.clear();
    m_frames = m_sizeX = m_sizeY = m_sizeZ = 0;
    m_fileInfo = CVolumeFileInfo();
    m_window.reset();
}

void CTimeVolume::UpdateSizes() {
    m_sizeZ = static_cast<int32_t>(m_slices.size());
    if (m_slices.empty() || m_slices[0].empty()) {
        m_frames = m_sizeX = m_sizeY = m_sizeZ = 0;
        return;
    }
    m_frames = static_cast<int32_t>(m_slices.back().size());
    m_sizeX = m_slices[0][0].width;
    m_sizeY = m_slices[0][0].height;
}

bool CTimeVolume::LoadFile(const std::string& path, double saturation, const Progress& progress,
                           COpenRequest request, EVolumeFormat format) {
    const CVolumeFormat* row =
        format != EVolumeFormat::kNone ? &VolumeFormatRow(format) : VolumeFormatOfPath(path);
    const double openShare = row != nullptr ? row->openShare : 0.0;
    if (progress && !request.progress)
        request.progress = [&progress, openShare](double fraction) { progress(openShare * fraction); };
    COpenResult opened = OpenVolume(path, request, format);
    if (!opened.source) {
        m_lastErrorSubject = opened.subject;
        m_lastError = opened.reason;
        return false;
    }
    CSampleSource& source = *opened.source;
    const Progress loadProgress = [&progress, openShare](double fraction) {
        if (progress) progress(openShare + (1.0 - openShare) * fraction);
    };
    if (!Load(source, saturation, loadProgress)) {
        m_lastErrorSubject =
            !source.m_subject.empty() ? source.m_subject : VolumeFormatRow(opened.format).noun + (" " + path);
        return false;
    }
    m_fileInfo = CVolumeFileInfo();
    m_fileInfo.m_format = opened.format;
    m_fileInfo.m_title = ShortNameOfPath(path);
    m_fileInfo.m_calibration = source.m_calibration;
    m_fileInfo.m_transform = source.m_transform;
    source.Describe(m_fileInfo);
    return true;
}

std::string CTimeVolume::LastFailure() const {
    return m_lastErrorSubject.empty() ? m_lastError
                                      : "Cannot load " + m_lastErrorSubject + ":\n" + m_lastError;
}

void CTimeVolume::Swap(CTimeVolume& other) noexcept {
    std::swap(m_frames, other.m_frames);
    std::swap(m_sizeX, other.m_sizeX);
    std::swap(m_sizeY, other.m_sizeY);
    std::swap(m_sizeZ, other.m_sizeZ);
    std::swap(m_pixelSizeX, other.m_pixelSizeX);
    std::swap(m_pixelSizeY, other.m_pixelSizeY);
    std::swap(m_pixelSizeZ, other.m_pixelSizeZ);
    std::swap(m_frameTime, other.m_frameTime);
    std::swap(m_saturationLevel, other.m_saturationLevel);
    std::swap(m_window, other.m_window);
    std::swap(m_fileInfo, other.m_fileInfo);
    m_lastError.swap(other.m_lastError);
    m_lastErrorSubject.swap(other.m_lastErrorSubject);
    m_loads.swap(other.m_loads);
    m_slices.swap(other.m_slices);
}

void CTimeVolume::KeepCalibration(const CTimeVolume& other) {
    m_pixelSizeX = other.m_pixelSizeX;
    m_pixelSizeY = other.m_pixelSizeY;
    m_pixelSizeZ = other.m_pixelSizeZ;
    m_frameTime = other.m_frameTime;
}

void CTimeVolume::AdoptCalibration(const CVolumeCalibration& calibration) {
    if (calibration.m_pixelSizeX) m_pixelSizeX = *calibration.m_pixelSizeX;
    if (calibration.m_pixelSizeY) m_pixelSizeY = *calibration.m_pixelSizeY;
    if (calibration.m_pixelSizeZ) m_pixelSizeZ = *calibration.m_pixelSizeZ;
    if (calibration.m_frameTime) m_frameTime = *calibration.m_frameTime;
}

bool CTimeVolume::Load(CSampleSource& source, double saturation, const Progress& progress) {
    const int64_t total = source.SampleCount();
    if (m_sizeCheck && total > 0) {
        std::string refusal = m_sizeCheck(source.m_sizeX, source.m_sizeY, source.m_sizeZ);
        if (!refusal.empty()) {
            m_lastError = std::move(refusal);
            return false;
        }
    }
    std::unique_ptr<CLoadedCodes> load;
    if (total > 0) {
        try {
            load = CVolumeLoader::Load(source, saturation, progress, m_lastError);
            if (!load) return false;
        } catch (const std::bad_alloc&) {
            m_lastError = "not enough memory for a volume of " + std::to_string(total) + " voxels";
            return false;
        } catch (const std::exception& error) {
            m_lastError = error.what();
            return false;
        }
    }

    AdoptCalibration(source.m_calibration);
    m_saturationLevel = load ? load->Display().SaturationLevel() : 0;
    if (load) {
        if (m_window) load->SetWindow(*m_window);
        for (int32_t z = 0; z < load->SizeZ(); ++z) {
            std::vector<CSliceValues> frames;
            frames.reserve(static_cast<size_t>(load->Frames()));
            for (int32_t t = 0; t < load->Frames(); ++t) frames.push_back(load->Slice(z, t));
            m_slices.push_back(std::move(frames));
        }
        m_loads.push_back(std::move(load));
    }
    UpdateSizes();
    m_lastError.clear();
    return true;
}

uint16_t CTimeVolume::SetSaturation(double saturation) {
    for (auto& load : m_loads) m_saturationLevel = load->SetSaturation(saturation);
    return m_saturationLevel;
}

bool CTimeVolume::SetWindow(const CDisplayWindow& window) {
    if (!WindowIsUsable(window)) return false;
    m_window = window;
    for (auto& load : m_loads) load->SetWindow(window);
    return true;
}

void CTimeVolume::ResetWindow() {
    m_window.reset();
    for (auto& load : m_loads) load->ResetWindow();
}

CDisplayWindow CTimeVolume::Window() const {
    if (m_window) return *m_window;
    return m_loads.empty() ? CDisplayWindow() : m_loads.back()->Display().DefaultWindow();
}

std::optional<CDisplayWindow> CTimeVolume::PresetWindow(EWindowPreset preset) const {
    const CWindowPresetRow& row = WindowPresetRow(preset);
    if (row.fixed) return row.fixed;
    if (m_loads.empty()) return std::nullopt;
    if (preset == EWindowPreset::kLoadDefault) return m_loads.back()->Display().DefaultWindow();
    std::vector<ValueCount> counts;
    for (const auto& load : m_loads) load->Display().AddValueCounts(counts);
    return WindowOfFractions(std::move(counts), row.lowFraction, row.highFraction);
}

bool CTimeVolume::FileChanged() const {
    return std::any_of(m_loads.begin(), m_loads.end(), [](const auto& load) { return load->FileChanged(); });
}

uint8_t CTimeVolume::Voxel(int x, int y, int z, int frame) const {
    const CSliceValues& slice = m_slices[static_cast<size_t>(z)][static_cast<size_t>(frame)];
    // A slice that does not have the volume's size (movies that disagree)
    // reads as black rather than outside its buffer.
    if (x >= slice.width || y >= slice.height) return 0;
    return (*slice.greyOfCode)[slice.Code(static_cast<int64_t>(y) * slice.width + x)];
}

std::optional<double> CTimeVolume::Value(int i, int j, int k, int t) const {
    if (k < 0 || k >= static_cast<int>(m_slices.size()) || t < 0) return std::nullopt;
    const auto& frames = m_slices[static_cast<size_t>(k)];
    if (t >= static_cast<int>(frames.size())) return std::nullopt;
    const CSliceValues& slice = frames[static_cast<size_t>(t)];
    if (i < 0 || j < 0 || i >= slice.width || j >= slice.height) return std::nullopt;
    const uint16_t code = slice.Code(int64_t{j} * slice.width + i);
    // A code that was not in the file when it loaded (it changed since) has no value.
    if (slice.codePresent[code] == 0) return std::nullopt;
    return slice.valueOfCode[code];
}

CSliceImage CTimeVolume::GetSlice(int plane, int index, int frame, bool powerOfTwo) const {
    const int extents[3] = {m_sizeX, m_sizeY, m_sizeZ};
    if (plane < 0 || plane > 2 || index < 0 || index >= extents[plane] || frame < 0 || frame >= m_frames)
        return CSliceImage();
    for (const auto& frames : m_slices)
        if (frame >= static_cast<int>(frames.size())) return CSliceImage();

    // The XY plane keeps its size whatever `powerOfTwo` says: it is the
    // volume's own slice, which every texture of the view can take.
    if (plane == 2) {
        const CSliceValues& slice = m_slices[static_cast<size_t>(index)][static_cast<size_t>(frame)];
        CSliceImage image = MakeOwnedSliceImage(slice.width, slice.height, 1);
        const int64_t count = image.ByteCount();
        if (slice.codes != nullptr)
            ConvertSamples(slice.codes, image.m_data, static_cast<size_t>(count), *slice.greyOfCode);
        else if (IsGreyIdentity(*slice.greyOfCode))
            std::copy_n(slice.grey, count, image.m_data);
        else
            for (int64_t i = 0; i < count; ++i) image.m_data[i] = (*slice.greyOfCode)[slice.grey[i]];
        return image;
    }

    return GatherUprightPlane(plane, index, m_sizeX, m_sizeY, m_sizeZ, powerOfTwo,
                              [&](int x, int y, int z) { return Voxel(x, y, z, frame); });
}
