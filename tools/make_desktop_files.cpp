// Writes the desktop files that describe the volume formats, from the
// program's own table of them, so that a new format reaches the desktop too:
//   orvanta-make-desktop-files TEMPLATE FOLDER
// FOLDER/orvanta.desktop is TEMPLATE with @MIME_TYPES@ replaced by the file
// types the program opens, and FOLDER/orvanta.xml defines those the desktop
// does not know yet.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "VolumeFormat.h"

namespace {

std::string MimePackage() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Written from the program's table of volume formats; shared-mime-info has no NIfTI types. -->\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const CVolumeFormat& format : VolumeFormats())
        for (const CMimeType& type : format.mimeTypes) {
            if (!type.defined) continue;
            xml += "  <mime-type type=\"" + std::string(type.type) + "\">\n";
            xml += "    <comment>" + std::string(type.comment) + "</comment>\n";
            if (type.subClassOf != nullptr)
                xml += "    <sub-class-of type=\"" + std::string(type.subClassOf) + "\"/>\n";
            for (const char* glob : type.globs) xml += "    <glob pattern=\"" + std::string(glob) + "\"/>\n";
            if (!type.magic.empty()) {
                xml += "    <magic priority=\"50\">\n";
                for (const auto& [offset, text] : type.magic)
                    xml += "      <match type=\"string\" value=\"" + std::string(text) + "\" offset=\"" +
                           std::to_string(offset) + "\"/>\n";
                xml += "    </magic>\n";
            }
            xml += "  </mime-type>\n";
        }
    return xml + "</mime-info>\n";
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEMPLATE FOLDER\n", argv[0]);
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::stringstream read;
    read << input.rdbuf();
    std::string entry = read.str();
    std::string types;
    for (const CVolumeFormat& format : VolumeFormats())
        for (const CMimeType& type : format.mimeTypes) types += std::string(type.type) + ";";
    const std::string placeholder = "@MIME_TYPES@";
    const size_t at = entry.find(placeholder);
    if (!input || at == std::string::npos) {
        std::fprintf(stderr, "%s: %s is no desktop entry template\n", argv[0], argv[1]);
        return 1;
    }
    entry.replace(at, placeholder.size(), types);
    const std::string folder = argv[2];
    if (!Write(folder + "/orvanta.desktop", entry) || !Write(folder + "/orvanta.xml", MimePackage())) {
        std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
