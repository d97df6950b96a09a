#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One line of a label description file, the plain-text table ITK-SNAP keeps
// beside a segmentation: a label's value, colour, opacity, visibility on the
// slices and as a mesh, and its name.
struct CLabelDescription {
    int64_t value = 0;
    std::array<uint8_t, 3> colour = {0, 0, 0};
    double alpha = 1.0;
    bool visible = true;
    bool meshVisible = true;
    std::string name;

    bool operator==(const CLabelDescription&) const = default;
};

// Whether a description file can hold `name` between its quotes and give it
// back unchanged: no double quote, no line break or other control character
// but the tab.
bool LabelNameFits(const std::string& name);

// Reads a label description file: '#' starts a comment line, blank lines are
// skipped, every other line is `value r g b alpha visible meshVisible "name"`
// (value 0 to 65535, colours 0 to 255, alpha 0 to 1, the switches 0 or 1),
// separated by spaces or tabs, with Windows line ends allowed. The lines come
// out in file order. False, `out` untouched and `error` naming the line and
// what is wrong with it, for a malformed line, a value given twice or a file
// that cannot be read or is too large to be such a table.
bool ReadLabelDescriptions(const std::string& path, std::vector<CLabelDescription>& out, std::string& error);

// Writes `labels` as a label description file in ascending value order, under
// the usual comment block, with the "Clear Label" line for value 0 first when
// `labels` has none. The file is written beside `path` and takes its place
// only once complete. False, with `error` and `path` as it was, when a
// description could not be read back (a value or colour out of range, a name
// with a double quote or a line break, a value given twice) or the file
// cannot be written.
bool WriteLabelDescriptions(const std::string& path, const std::vector<CLabelDescription>& labels,
                            std::string& error);

// Where the description file of the label image `labelPath` may lie, in the
// order they are tried: <stem>.txt, <stem>_labels.txt and
// label_descriptions.txt in the image's folder, the stem being the image's
// path without its image extension ("heart.nii.gz" -> "heart").
std::vector<std::string> LabelDescriptionCandidates(const std::string& labelPath);

// The first candidate that reads as a description file, its lines in `read`
// when asked; "" when there is none. Then `refusal`, when asked, says why the
// first of the files named only for descriptions (<stem>_labels.txt,
// label_descriptions.txt) that exists was refused; <stem>.txt may be any
// notes and is passed over quietly.
std::string FindLabelDescriptions(const std::string& labelPath,
                                  std::vector<CLabelDescription>* read = nullptr,
                                  std::string* refusal = nullptr);

// Where a new description file for the label image `labelPath` is written:
// <stem>_labels.txt.
std::string LabelDescriptionsPathFor(const std::string& labelPath);
