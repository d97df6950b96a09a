// Opening DICOM series: a scanner's folder, or one image of a series.

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "DicomFolder.h"
#include "DicomSource.h"
#include "PathUtils.h"
#include "Viewer.h"
#include "VolumeFormat.h"

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

// The name a folder or file goes by in the title.
std::string ShortName(const std::string& path) {
    const fs::path p = fs::path(path).lexically_normal();
    const std::string name = (p.has_filename() ? p.filename() : p.parent_path().filename()).string();
    return name.empty() ? path : name;
}

}  // namespace

bool CViewer::OpensAsDicom(const std::string& path) {
    if (IsFolder(path)) return true;
    const std::string extension = PathExtension(path);
    auto is = [&extension](const char* name) { return extension.size() == 3 && EndsWithIgnoringCase(extension, name); };
    if (is("tvi") || is("obj")) return false;
    return is("dcm") || CDicomFolder::ClaimsDicom(path);
}

void CViewer::OnOpenDicomFolder() {
    const std::string folder = m_host.Dialogs().AskFolderName("Open DICOM Folder");
    if (!folder.empty()) LoadDicom(folder);
}

void CViewer::LoadDicom(const std::string& path, const std::string& choice) {
    const bool isFolder = IsFolder(path);
    std::string folderPath = isFolder ? path : fs::path(path).parent_path().string();
    if (folderPath.empty()) folderPath = ".";
    auto refuse = [this](const std::string& text) {
        m_host.SetTitle(m_baseTitle);
        UpdateTitle();
        m_host.LoadProgress(1.0);
        m_host.SetWaitCursor(false);
        // Nothing was replaced: the volume on screen stays.
        m_host.Dialogs().ShowMessage("Error", text, CDialogService::Icon::kError);
    };

    m_host.SetWaitCursor(true);
    m_host.SetTitle(m_baseTitle + " - Loading volume...");
    // Scanning takes the first tenth of the progress, decoding half, counting and converting the rest.
    m_host.LoadProgress(0.0);
    CDicomFolder folder;
    std::string error;
    if (!folder.Scan(folderPath, error, [this](double f) { m_host.LoadProgress(0.1 * f); })) {
        refuse("Cannot open " + path + ": " + error);
        return;
    }
    if (folder.m_series.empty()) {
        if (isFolder && HasMovies(path)) {
            m_host.SetWaitCursor(false);
            m_dicomPath.clear();
            LoadAviDirectory(path);
            return;
        }
        refuse("No DICOM images were found in " + folderPath + ".");
        return;
    }

    int index = -1;
    if (!isFolder) {
        index = folder.SeriesOfFile(path);
        if (index < 0) {
            refuse(path + " is not a DICOM image that can be read.");
            return;
        }
    } else if (!choice.empty() || !m_seriesChoice.empty()) {
        index = folder.FindChoice(choice.empty() ? m_seriesChoice : choice, error);
        if (index < 0) {
            refuse("Cannot choose a series in " + path + ": " + error + ".");
            return;
        }
    } else if (folder.m_series.size() == 1) {
        index = 0;
    } else {
        std::vector<std::string> labels;
        for (const CDicomFolder::Series& series : folder.m_series) labels.push_back(series.Label());
        index = m_host.Dialogs().AskChoice("Open DICOM Folder", path + " holds several series. Which one?", labels,
                                           folder.DefaultChoice());
        if (index < 0 || index >= static_cast<int>(labels.size())) {
            refuse("No series was chosen; nothing was loaded.");
            return;
        }
    }

    CDicomFolder::Series& series = folder.m_series[static_cast<size_t>(index)];
    CDicomSeriesLayout layout;
    if (!series.Layout(layout, error)) {
        refuse("Cannot load the series " + series.Label() + ":\n" + error);
        return;
    }
    // Every image is decoded before the volume is touched, so a damaged file
    // leaves what was on screen.
    CDicomSource source(layout);
    // A volume that could not be shown is refused before any image is decoded.
    if (const std::string refusal = TextureRefusal(source.m_sizeX, source.m_sizeY, source.m_sizeZ);
        !refusal.empty()) {
        refuse("Cannot load the series " + series.Label() + ":\n" + refusal);
        return;
    }
    if (!source.Prepare([this](double f) { m_host.LoadProgress(0.1 + 0.5 * f); }, error)) {
        refuse("Cannot load the series " + series.Label() + ":\n" + error);
        return;
    }
    m_volume.Clear();
    const bool loaded =
        m_volume.Load(source, m_saturation, [this](double f) { m_host.LoadProgress(0.6 + 0.4 * f); });
    m_host.LoadProgress(1.0);

    m_tviPath.clear();
    m_dicomPath = path;
    m_seriesList.clear();
    for (const CDicomFolder::Series& each : folder.m_series) m_seriesList.push_back(each.Label());
    m_seriesUids.clear();
    if (series.stack) {
        for (const CDicomImageHeader& image : series.images)
            if (std::find(m_seriesUids.begin(), m_seriesUids.end(), image.seriesUid) == m_seriesUids.end())
                m_seriesUids.push_back(image.seriesUid);
    } else {
        m_seriesUids.push_back(series.uid);
    }
    m_fileTitle = ShortName(isFolder ? path : folderPath) +
                  (series.description.empty() ? "" : " (" + series.description + ")");
    m_t = 0;
    m_x = m_volume.m_sizeX / 2;
    m_y = m_volume.m_sizeY / 2;
    m_z = m_volume.m_sizeZ / 2;
    // Only what the images carry replaces the pixel sizes and frame time.
    m_volume.m_fileInfo = CVolumeFileInfo{"dicom", "", std::nullopt, source.m_calibration};
    AdoptCalibration();
    RefreshView();
    m_host.SetWaitCursor(false);
    if (!loaded) {
        m_host.Dialogs().ShowMessage("Error", "Cannot load the series " + series.Label() + ":\n" + m_volume.LastError(),
                                     CDialogService::Icon::kError);
        return;
    }

    std::vector<std::string> notes = layout.m_notes;
    if (!folder.m_unreadable.empty()) {
        std::string files = "These files could not be read and were skipped:";
        for (const std::string& file : folder.m_unreadable) files += "\n" + file;
        notes.push_back(files);
    }
    if (!notes.empty()) {
        std::string text;
        for (const std::string& note : notes) text += (text.empty() ? "" : "\n") + note;
        m_host.Dialogs().ShowMessage("DICOM series", text, CDialogService::Icon::kInformation);
    }
}
