#include "VolumeFormat.h"

#include <cctype>

#include "PathUtils.h"

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    const size_t start = text.size() - ending.size();
    for (size_t i = 0; i < ending.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[start + i])) !=
            std::tolower(static_cast<unsigned char>(ending[i])))
            return false;
    return true;
}

EVolumeFormat VolumeFormatOfPath(const std::string& path) {
    // A name without a dot is its own extension, so "tvi" alone is a time volume.
    const std::string extension = PathExtension(path);
    if (extension.size() == 3 && EndsWithIgnoringCase(extension, "tvi")) return EVolumeFormat::kTvi;
    if ((extension.size() == 3 && EndsWithIgnoringCase(extension, "nii")) ||
        EndsWithIgnoringCase(path, ".nii.gz"))
        return EVolumeFormat::kNifti;
    return EVolumeFormat::kNone;
}

std::string PathWithoutVolumeExtension(const std::string& path) {
    static const std::string kCompressed = ".nii.gz";
    if (EndsWithIgnoringCase(path, kCompressed)) return path.substr(0, path.size() - kCompressed.size());
    return PathWithoutExtension(path);
}
