// Reads the input as a label description file. A refused file must say
// which line is wrong and leave what the caller had; an accepted one must
// hold only values, colours, opacities and names the file can hold, each
// label once, and must read back the same once written.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "LabelDescriptions.h"
#include "LabelImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("labels.txt", data, size);
    const std::vector<CLabelDescription> before = {{3, {1, 2, 3}, 0.5, true, false, "before"}};
    std::vector<CLabelDescription> read = before;
    std::string error;
    if (!ReadLabelDescriptions(path, read, error)) {
        // Only a file too large to read is refused as a whole.
        FuzzCheck(error.rfind("line ", 0) == 0 || size > (16u << 20), "a refusal that names no line");
        FuzzCheck(read == before, "a refused file changed the labels");
        return 0;
    }
    std::set<int64_t> values;
    for (const CLabelDescription& label : read) {
        FuzzCheck(label.value >= 0 && label.value <= CLabelImage::kMaxValue, "a label value out of range");
        FuzzCheck(label.alpha >= 0.0 && label.alpha <= 1.0, "an opacity out of range");
        FuzzCheck(LabelNameFits(label.name), "a name the file cannot hold");
        FuzzCheck(values.insert(label.value).second, "a label read twice");
    }

    const std::string copy = ScratchPath("copy.txt");
    FuzzCheck(WriteLabelDescriptions(copy, read, error), "accepted labels cannot be written");
    std::vector<CLabelDescription> again;
    FuzzCheck(ReadLabelDescriptions(copy, again, error), "written labels are refused");
    // Written in value order, with the background's line when there was none.
    std::vector<CLabelDescription> expected;
    if (values.count(0) == 0) expected.push_back({0, {0, 0, 0}, 0.0, false, false, "Clear Label"});
    for (const int64_t value : values)
        for (const CLabelDescription& label : read)
            if (label.value == value) expected.push_back(label);
    FuzzCheck(again == expected, "written labels read back otherwise");
    return 0;
}
