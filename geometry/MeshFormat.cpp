#include "MeshFormat.h"

#include "PathUtils.h"

namespace {

struct FormatRow {
    EMeshFormat format;
    const char* extension;
    const char* filterName;
};

constexpr FormatRow kFormats[] = {
    {EMeshFormat::kObj, ".obj", "Wavefront OBJ"},   {EMeshFormat::kStl, ".stl", "STL, binary"},
    {EMeshFormat::kPly, ".ply", "PLY, binary"},     {EMeshFormat::kVtp, ".vtp", "VTK XML polydata"},
    {EMeshFormat::kGifti, ".gii", "GIfTI surface"},
};

}  // namespace

EMeshFormat MeshFormatOfPath(const std::string& path) {
    // A name without a dot is its own extension, so "obj" alone is a mesh file.
    std::string extension(1, '.');
    extension += PathExtension(path);
    for (const FormatRow& row : kFormats)
        if (extension.size() == std::char_traits<char>::length(row.extension) &&
            EndsWithIgnoringCase(extension, row.extension))
            return row.format;
    return EMeshFormat::kNone;
}

const char* MeshFormatExtension(EMeshFormat format) {
    for (const FormatRow& row : kFormats)
        if (row.format == format) return row.extension;
    return "";
}

bool IsMeshFileName(const std::string& path) {
    return MeshFormatOfPath(path) != EMeshFormat::kNone;
}

std::string MeshExtensionsText() {
    std::string text;
    const size_t count = std::size(kFormats);
    for (size_t i = 0; i < count; ++i)
        text.append(i == 0 ? "" : i + 1 == count ? " or " : ", ").append(kFormats[i].extension);
    return text;
}

std::string MeshDialogFilter() {
    std::string all, each;
    for (const FormatRow& row : kFormats) {
        all.append(all.empty() ? "*" : " *").append(row.extension);
        each.append(";;").append(row.filterName).append(" (*").append(row.extension).append(")");
    }
    return "Mesh files (" + all + ")" + each;
}
