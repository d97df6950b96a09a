#include "VolumeFormat.h"

#include <filesystem>
#include <stdexcept>

#include "DicomSource.h"
#include "MovieFolderSource.h"
#include "NiftiSource.h"
#include "PathUtils.h"
#include "TviSource.h"

namespace {

bool IsFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

std::vector<CVolumeFormat> BuildTable() {
    return {
        {EVolumeFormat::kTvi,
         "tvi",
         "the time volume",
         ".tvi\ta time volume; its companion .obj meshes (same name) come with it",
         nullptr,
         {".tvi"},
         "Time volume files (*.tvi)",
         {{"application/x-orvanta-tvi", "Time volume (4-D image)", {"*.tvi"}}},
         true,
         true,
         true,
         nullptr,
         &OpenFileSource<CTviSource, EVolumeFormat::kTvi>,
         0.0},
        {EVolumeFormat::kNifti,
         "nifti",
         "the NIfTI image",
         ".nii, .nii.gz\ta NIfTI image; its companion .obj meshes (same name) come with it",
         nullptr,
         {".nii", ".nii.gz"},
         "NIfTI images (*.nii *.nii.gz)",
         {{"application/x-orvanta-nifti", "NIfTI image", {"*.nii"}, nullptr, {{344, "n+1"}, {4, "n+2"}}},
          {"application/x-orvanta-nifti-gz",
           "NIfTI image (gzip-compressed)",
           {"*.nii.gz"},
           "application/gzip"}},
         true,
         true,
         true,
         nullptr,
         &OpenFileSource<CNiftiSource, EVolumeFormat::kNifti>,
         0.0},
        {EVolumeFormat::kDicom,
         "dicom",
         "the DICOM series",
         "FOLDER, .dcm\ta folder of DICOM images (its series), or one DICOM image (the series it\n"
         "belongs to); a folder without DICOM images loads its .avi movies",
         "DICOM images and folders",
         {".dcm"},
         "DICOM images (*.dcm)",
         {{"application/dicom", "DICOM image", {"*.dcm"}, nullptr, {}, false}},
         false,
         false,
         true,
         &CDicomSource::Recognises,
         &CDicomSource::OpenPath,
         0.1},
        {EVolumeFormat::kMovieFolder,
         "movies",
         "the movie folder",
         "(no FILE)\tthe .avi movies of the current folder, one movie per slice",
         nullptr,
         {},
         nullptr,
         {},
         false,
         false,
         false,
         &CMovieFolderSource::Recognises,
         &CMovieFolderSource::OpenPath,
         0.9},
    };
}

// "a", "a and b", "a, b and c".
std::string JoinedWithAnd(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

bool HasExtension(const CVolumeFormat& format, const std::string& path) {
    for (const std::string extension : format.extensions)
        // A bare ".nii" names no file; a name without a dot is its own
        // extension, so "tvi" alone is a time volume.
        if ((path.size() > extension.size() && EndsWithIgnoringCase(path, extension)) ||
            (path.find('.') == std::string::npos && path.find('/') == std::string::npos &&
             path.size() + 1 == extension.size() && EndsWithIgnoringCase(extension, path)))
            return true;
    return false;
}

}  // namespace

std::string COpenResult::Message() const {
    return subject.empty() ? reason : "Cannot load " + subject + ":\n" + reason;
}

const std::vector<CVolumeFormat>& VolumeFormats() {
    static const std::vector<CVolumeFormat> table = BuildTable();
    return table;
}

const CVolumeFormat& VolumeFormatRow(EVolumeFormat format) {
    for (const CVolumeFormat& row : VolumeFormats())
        if (row.id == format) return row;
    throw std::invalid_argument("no such volume format");
}

const CVolumeFormat* VolumeFormatOfPath(const std::string& path) {
    for (const CVolumeFormat& row : VolumeFormats())
        if (HasExtension(row, path) || (row.recognises != nullptr && row.recognises(path))) return &row;
    return nullptr;
}

COpenResult OpenVolume(const std::string& path, const COpenRequest& request, EVolumeFormat format) {
    if (format != EVolumeFormat::kNone) {
        COpenResult result = VolumeFormatRow(format).open(path, request);
        result.format = format;
        return result;
    }
    COpenResult result;
    result.subject = path;
    result.reason = "only " + OpenableKindsText() + " can be loaded";
    bool tried = false;
    for (const CVolumeFormat& row : VolumeFormats()) {
        if (!HasExtension(row, path) && !(row.recognises != nullptr && row.recognises(path))) continue;
        COpenResult opened = row.open(path, request);
        opened.format = row.id;
        // A later format may take what this one found nothing of; if none
        // does, the first one's reason stands.
        if (!opened.tryNext || !tried) result = std::move(opened);
        tried = true;
        if (!result.tryNext) break;
    }
    result.tryNext = false;
    return result;
}

std::string PathWithoutVolumeExtension(const std::string& path) {
    for (const CVolumeFormat& row : VolumeFormats())
        for (const std::string extension : row.extensions)
            if (path.size() > extension.size() && EndsWithIgnoringCase(path, extension))
                return path.substr(0, path.size() - extension.size());
    if (IsFolder(path) || (!path.empty() && path.back() == '/')) {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder;
    }
    return PathWithoutExtension(path);
}

std::string ExtensionsText(EVolumeFormat format) {
    const std::vector<const char*>& extensions = VolumeFormatRow(format).extensions;
    return JoinedWithAnd(std::vector<std::string>(extensions.begin(), extensions.end()));
}

std::string ExtensionGlobs(EVolumeFormat format) {
    std::string globs;
    for (const std::string extension : VolumeFormatRow(format).extensions)
        globs += (globs.empty() ? "*" : " *") + extension;
    return globs;
}

std::string VolumeDialogFilter() {
    // Appended piece by piece: GCC 12 at -O2 warns (-Wrestrict) of overlaps
    // in the copies a chain of + makes here, which cannot happen.
    std::string filter = "Volumes (", each;
    bool first = true;
    for (const CVolumeFormat& row : VolumeFormats()) {
        if (row.dialogFilter == nullptr) continue;
        if (!first) filter += ' ';
        filter += ExtensionGlobs(row.id);
        first = false;
        each += ";;";
        each += row.dialogFilter;
    }
    filter += ')';
    filter += each;
    return filter;
}

std::string OpenableKindsText() {
    std::vector<std::string> extensions, kinds;
    for (const CVolumeFormat& row : VolumeFormats()) {
        if (row.kindsText != nullptr)
            kinds.push_back(row.kindsText);
        else
            for (const char* extension : row.extensions) extensions.push_back(extension);
    }
    if (!extensions.empty()) kinds.insert(kinds.begin(), JoinedWithAnd(extensions) + " volumes");
    std::string text;
    for (size_t i = 0; i < kinds.size(); ++i) text += (i == 0 ? "" : ", ") + kinds[i];
    return text;
}

std::vector<std::pair<std::string, std::string>> VolumeFormatsHelp() {
    std::vector<std::pair<std::string, std::string>> lines;
    for (const CVolumeFormat& row : VolumeFormats()) {
        const std::string text = row.helpText;
        const size_t tab = text.find('\t');
        lines.emplace_back(text.substr(0, tab), text.substr(tab + 1));
    }
    return lines;
}

std::string ShortNameOfPath(const std::string& path) {
    const std::filesystem::path p = std::filesystem::path(path).lexically_normal();
    const std::string name = (p.has_filename() ? p.filename() : p.parent_path().filename()).string();
    return name.empty() ? path : name;
}

COpenResult FailedToOpen(EVolumeFormat format, const std::string& path, std::string reason) {
    COpenResult result;
    result.subject = std::string(VolumeFormatRow(format).noun) + " " + path;
    result.reason = std::move(reason);
    return result;
}
