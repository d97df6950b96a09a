#include "LabelDescriptions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "LabelImage.h"
#include "PathUtils.h"
#include "ReplacingFile.h"
#include "TextFormat.h"

namespace {

// A table of 65536 labels with long names stays far below this; a larger
// file is something else and is not read into memory.
constexpr int64_t kLargestFile = 16 << 20;

// The image extensions a label file may carry, longest first where one ends another.
constexpr const char* kImageExtensions[] = {".nii.gz", ".hdr.gz", ".img.gz", ".nii", ".hdr",
                                            ".img",    ".tvi",    ".mha",    ".mhd", ".nrrd"};

constexpr const char* kHeader =
    "################################################\n"
    "# ITK-SnAP Label Description File\n"
    "# File format: \n"
    "# IDX   -R-  -G-  -B-  -A--  VIS MSH  LABEL\n"
    "# Fields: \n"
    "#    IDX:   Zero-based index \n"
    "#    -R-:   Red color component (0..255)\n"
    "#    -G-:   Green color component (0..255)\n"
    "#    -B-:   Blue color component (0..255)\n"
    "#    -A-:   Label transparency (0.00 .. 1.00)\n"
    "#    VIS:   Label visibility (0 or 1)\n"
    "#    MSH:   Label mesh visibility (0 or 1)\n"
    "#  LABEL:   Label description \n"
    "################################################\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The fields of one line, read left to right; each refusal says what was wrong.
class CLineReader {
public:
    explicit CLineReader(const std::string& line) : m_line(line) {}

    // The next run of characters up to a blank; "" at the end or at the name's quote.
    std::string Token() {
        SkipBlanks();
        const size_t start = m_at;
        if (m_at < m_line.size() && m_line[m_at] == '"') return {};
        while (m_at < m_line.size() && !IsBlank(m_line[m_at])) ++m_at;
        return m_line.substr(start, m_at - start);
    }

    bool Integer(const char* what, int64_t low, int64_t high, int64_t& value, std::string& error) {
        const std::string token = Token();
        if (token.empty()) return Missing(what, error);
        const char* end = token.data() + token.size();
        const auto [stop, code] = std::from_chars(token.data(), end, value);
        if (code == std::errc::result_out_of_range ||
            (code == std::errc() && stop == end && (value < low || value > high))) {
            error = FormatText("the %s %s is outside %lld to %lld", what, token.c_str(),
                               static_cast<long long>(low), static_cast<long long>(high));
            return false;
        }
        if (code != std::errc() || stop != end) {
            error = FormatText("the %s \"%s\" is not a whole number", what, token.c_str());
            return false;
        }
        return true;
    }

    bool Fraction(const char* what, double& value, std::string& error) {
        const std::string token = Token();
        if (token.empty()) return Missing(what, error);
        const char* end = token.data() + token.size();
        const auto [stop, code] = std::from_chars(token.data(), end, value, std::chars_format::general);
        if (code != std::errc() || stop != end || !std::isfinite(value)) {
            error = FormatText("the %s \"%s\" is not a number", what, token.c_str());
            return false;
        }
        if (value < 0.0 || value > 1.0) {
            error = FormatText("the %s %s is outside 0 to 1", what, token.c_str());
            return false;
        }
        return true;
    }

    bool QuotedName(std::string& name, std::string& error) {
        SkipBlanks();
        if (m_at >= m_line.size() || m_line[m_at] != '"') {
            error =
                m_at >= m_line.size() ? "the name is missing" : "the name does not start with a double quote";
            return false;
        }
        const size_t close = m_line.find('"', m_at + 1);
        if (close == std::string::npos) {
            error = "the name has no closing double quote";
            return false;
        }
        name = m_line.substr(m_at + 1, close - m_at - 1);
        if (!LabelNameFits(name)) {
            error = "the name holds a control character";
            return false;
        }
        m_at = close + 1;
        SkipBlanks();
        if (m_at < m_line.size()) {
            error = "there is more after the name's closing double quote";
            return false;
        }
        return true;
    }

private:
    void SkipBlanks() {
        while (m_at < m_line.size() && IsBlank(m_line[m_at])) ++m_at;
    }
    bool Missing(const char* what, std::string& error) const {
        error = FormatText("the %s is missing", what);
        return false;
    }

    const std::string& m_line;
    size_t m_at = 0;
};

bool ReadLine(const std::string& line, CLabelDescription& label, std::string& error) {
    CLineReader reader(line);
    int64_t value = 0, rgb[3] = {0, 0, 0}, visible = 0, mesh = 0;
    const char* channels[3] = {"red component", "green component", "blue component"};
    if (!reader.Integer("label value", 0, CLabelImage::kMaxValue, value, error)) return false;
    for (int c = 0; c < 3; ++c)
        if (!reader.Integer(channels[c], 0, 255, rgb[c], error)) return false;
    if (!reader.Fraction("opacity", label.alpha, error) ||
        !reader.Integer("visibility", 0, 1, visible, error) ||
        !reader.Integer("mesh visibility", 0, 1, mesh, error) || !reader.QuotedName(label.name, error))
        return false;
    label.value = value;
    for (int c = 0; c < 3; ++c) label.colour[static_cast<size_t>(c)] = static_cast<uint8_t>(rgb[c]);
    label.visible = visible != 0;
    label.meshVisible = mesh != 0;
    return true;
}

// The shortest text that reads back as `value`, whatever the locale.
std::string NumberText(double value) {
    char text[32];
    const auto [end, code] = std::to_chars(text, text + sizeof(text), value);
    return code == std::errc() ? std::string(text, end) : std::string("1");
}

// The image path without its image extension; without a known one, without its last extension.
std::string LabelStem(const std::string& labelPath) {
    for (const char* extension : kImageExtensions)
        if (EndsWithIgnoringCase(labelPath, extension))
            return labelPath.substr(0, labelPath.size() - std::strlen(extension));
    const std::string name = FileNameOfPath(labelPath);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? labelPath
                                                : labelPath.substr(0, labelPath.size() - (name.size() - dot));
}

}  // namespace

bool LabelNameFits(const std::string& name) {
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '"' || (byte < 0x20 && c != '\t') || byte == 0x7f;
    });
}

bool ReadLabelDescriptions(const std::string& path, std::vector<CLabelDescription>& out, std::string& error) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "cannot read " + path + ": it is not a file";
        return false;
    }
    if (status.st_size > kLargestFile) {
        error = FormatText("%s holds %lld bytes, more than a label description file can (%lld)", path.c_str(),
                           static_cast<long long>(status.st_size), static_cast<long long>(kLargestFile));
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (file) text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        error = "cannot read " + path;
        return false;
    }

    std::vector<CLabelDescription> labels;
    std::map<int64_t, int> lineOf;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        CLabelDescription label;
        std::string why;
        if (!ReadLine(line, label, why)) {
            error = FormatText("line %d: %s", number, why.c_str());
            return false;
        }
        const auto [at, fresh] = lineOf.emplace(label.value, number);
        if (!fresh) {
            error = FormatText("line %d: label %lld is described again (first on line %d)", number,
                               static_cast<long long>(label.value), at->second);
            return false;
        }
        labels.push_back(std::move(label));
    }
    out = std::move(labels);
    return true;
}

bool WriteLabelDescriptions(const std::string& path, const std::vector<CLabelDescription>& labels,
                            std::string& error) {
    std::vector<CLabelDescription> sorted = labels;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const CLabelDescription& a, const CLabelDescription& b) { return a.value < b.value; });
    for (size_t i = 0; i < sorted.size(); ++i) {
        const CLabelDescription& label = sorted[i];
        if (label.value < 0 || label.value > CLabelImage::kMaxValue) {
            error = FormatText("label %lld is outside 0 to %lld", static_cast<long long>(label.value),
                               static_cast<long long>(CLabelImage::kMaxValue));
            return false;
        }
        if (i > 0 && sorted[i - 1].value == label.value) {
            error = FormatText("label %lld is described twice", static_cast<long long>(label.value));
            return false;
        }
        if (!(label.alpha >= 0.0 && label.alpha <= 1.0)) {
            error = FormatText("the opacity of label %lld is outside 0 to 1",
                               static_cast<long long>(label.value));
            return false;
        }
        if (!LabelNameFits(label.name)) {
            error = FormatText("the name of label %lld holds a double quote or a control character",
                               static_cast<long long>(label.value));
            return false;
        }
    }
    if (sorted.empty() || sorted.front().value != 0)
        sorted.insert(sorted.begin(), CLabelDescription{0, {0, 0, 0}, 0.0, false, false, "Clear Label"});

    std::string text = kHeader;
    for (const CLabelDescription& label : sorted)
        text += FormatText("%5lld %5d %4d %4d %8s %2d %2d    \"%s\"\n", static_cast<long long>(label.value),
                           label.colour[0], label.colour[1], label.colour[2], NumberText(label.alpha).c_str(),
                           label.visible ? 1 : 0, label.meshVisible ? 1 : 0, label.name.c_str());
    CReplacingFile file;
    if (!file.Open(path, false, error)) return false;
    // A failed write is kept by the file and reported by Commit.
    file.Write(text.data(), text.size());
    return file.Commit(error);
}

std::vector<std::string> LabelDescriptionCandidates(const std::string& labelPath) {
    const std::string stem = LabelStem(labelPath);
    const size_t slash = labelPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : labelPath.substr(0, slash + 1);
    return {stem + ".txt", stem + "_labels.txt", folder + "label_descriptions.txt"};
}

std::string FindLabelDescriptions(const std::string& labelPath, std::vector<CLabelDescription>* read,
                                  std::string* refusal) {
    const std::vector<std::string> candidates = LabelDescriptionCandidates(labelPath);
    std::string firstRefusal;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!FileExists(candidates[i])) continue;
        std::vector<CLabelDescription> labels;
        std::string error;
        if (ReadLabelDescriptions(candidates[i], labels, error)) {
            if (read != nullptr) *read = std::move(labels);
            if (refusal != nullptr) refusal->clear();
            return candidates[i];
        }
        // <stem>.txt may be anyone's notes; the other names are for descriptions only.
        if (i > 0 && firstRefusal.empty()) firstRefusal = candidates[i] + ": " + error;
    }
    if (refusal != nullptr) *refusal = firstRefusal;
    return {};
}

std::string LabelDescriptionsPathFor(const std::string& labelPath) {
    return LabelStem(labelPath) + "_labels.txt";
}
