// Sorting image headers into slices and frames, without any pixel data.

#include <gtest/gtest.h>

#include "DicomSeriesLayout.h"

namespace {

const std::array<double, 6> kAxial = {1, 0, 0, 0, 1, 0};

CDicomImageHeader Header(const std::string& name, double z, std::optional<double> trigger, int instance) {
    CDicomImageHeader header;
    header.path = "/scan/" + name;
    header.rows = 4;
    header.columns = 5;
    header.position = std::array<double, 3>{10.0, 20.0, z};
    header.orientation = kAxial;
    header.pixelSpacing = std::array<double, 2>{1.5, 1.25};
    header.triggerTime = trigger;
    header.instanceNumber = instance;
    return header;
}

// The file names of layout.m_slices[z], in frame order.
std::vector<std::string> NamesOfSlice(const CDicomSeriesLayout& layout, size_t z) {
    std::vector<std::string> names;
    for (const CDicomImageHeader& image : layout.m_slices[z]) names.push_back(image.path.substr(6));
    return names;
}

struct LayoutCase {
    const char* name;
    std::vector<CDicomImageHeader> images;
    std::vector<std::vector<std::string>> slices;  // expected names per slice, frames in order
    const char* note;                               // a word the notes must hold, or ""
};

TEST(DicomSeriesLayoutTest, SortsImagesIntoSlicesAndFrames) {
    using Key = std::optional<double>;
    auto timed = [](CDicomImageHeader header, Key trigger, Key temporal, Key acquisition) {
        header.triggerTime = trigger;
        header.temporalPosition = temporal;
        header.acquisitionTime = acquisition;
        return header;
    };
    auto untimed = [&timed](const CDicomImageHeader& header) { return timed(header, {}, {}, {}); };
    auto unplaced = [](CDicomImageHeader header) {
        header.position.reset();
        header.orientation.reset();
        return header;
    };
    auto sized = [](CDicomImageHeader header, int rows) {
        header.rows = rows;
        return header;
    };
    const std::vector<LayoutCase> cases = {
        {"by position, then trigger time",
         {Header("a", 5, 40, 1), Header("b", -5, 0, 2), Header("c", 5, 0, 3), Header("d", -5, 40, 4)},
         {{"b", "d"}, {"c", "a"}},
         ""},
        {"positions closer than a hundredth of a pixel are one slice",
         {Header("a", 0.0, 10, 1), Header("b", 0.01, 0, 2), Header("c", 3.0, 0, 3), Header("d", 3.0, 10, 4)},
         {{"b", "a"}, {"c", "d"}},
         ""},
        // Each time key against name and instance order, which would give a, b (, c).
        {"temporal position when a trigger time is missing",
         {timed(Header("a", 0, 0, 1), {}, 2, {}), timed(Header("b", 0, 0, 2), 5, 1, {})}, {{"b", "a"}}, ""},
        {"acquisition time when a trigger time and a temporal position are missing",
         {timed(Header("a", 0, 0, 1), {}, {}, 36000.5), timed(Header("b", 0, 0, 2), 10, {}, 35999),
          timed(Header("c", 0, 0, 3), {}, 4, 36000.25)},
         {{"b", "c", "a"}}, ""},
        {"instance number when no time is given",
         {untimed(Header("a", 0, 0, 3)), untimed(Header("b", 0, 0, 1)), untimed(Header("c", 0, 0, 2))},
         {{"b", "c", "a"}}, ""},
        {"equal times go by instance number",
         {Header("a", 0, 0, 2), Header("b", 0, 0, 1), Header("c", 0, 9, 0)}, {{"b", "a", "c"}}, ""},
        {"images without geometry form one slice by instance number",
         {unplaced(untimed(Header("a", 0, 0, 2))), unplaced(untimed(Header("b", 0, 0, 1)))},
         {{"b", "a"}}, ""},
        {"images without geometry among placed ones form the last slice",
         {unplaced(Header("a", 0, 10, 1)), Header("b", 3, 0, 2), unplaced(Header("c", 0, 0, 3)),
          Header("d", 3, 10, 4)},
         {{"b", "d"}, {"c", "a"}},
         "2 images without position or orientation form the last slice: a, c"},
        // A tolerance of 0.0125 mm: each image is within it of the one before, not of the slice's first.
        {"a slow drift does not chain slices together",
         {Header("a", 0, 0, 1), Header("b", 0.009, 10, 2), Header("c", 0.018, 0, 3),
          Header("d", 0.027, 10, 4)},
         {{"a", "b"}, {"c", "d"}}, ""},
        {"slices with more frames are cut to the shortest",
         {Header("a", 0, 0, 1), Header("b", 0, 10, 2), Header("c", 0, 20, 3), Header("d", 4, 0, 4),
          Header("e", 4, 10, 5)},
         {{"a", "b"}, {"d", "e"}},
         "slice 0 has 3"},
        {"images of a less common size are left out",
         {Header("a", 0, 0, 1), Header("b", 0, 10, 2), sized(Header("c", 0, 20, 3), 8)},
         {{"a", "b"}},
         "c"},
        {"of two sizes equally common the larger is kept",
         {sized(Header("a", 0, 0, 1), 8), Header("b", 0, 10, 2), sized(Header("c", 0, 10, 3), 8),
          Header("d", 0, 0, 4)},
         {{"a", "c"}}, "2 images whose size is not 5 x 8 were left out: b, d"},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        CDicomSeriesLayout layout;
        std::string error;
        ASSERT_TRUE(layout.Sort(c.images, error)) << error;
        ASSERT_EQ(layout.m_slices.size(), c.slices.size());
        for (size_t z = 0; z < c.slices.size(); ++z) EXPECT_EQ(NamesOfSlice(layout, z), c.slices[z]) << "slice " << z;
        std::string notes;
        for (const std::string& note : layout.m_notes) notes += note + "\n";
        if (*c.note)
            EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
        else
            EXPECT_TRUE(notes.empty()) << notes;
    }
}

TEST(DicomSeriesLayoutTest, RefusesWhatCannotFormAVolume) {
    CDicomImageHeader tilted = Header("b", 0, 10, 2);
    (*tilted.orientation)[1] = 0.001;
    CDicomImageHeader colour = Header("c", 0, 10, 2);
    colour.photometric = "YBR_FULL";
    colour.samplesPerPixel = 3;
    struct Case {
        std::vector<CDicomImageHeader> images;
        const char* words;
    };
    const std::vector<Case> cases = {
        {{}, "no images"},
        {{Header("a", 0, 0, 1), tilted}, "orientation"},
        {{Header("a", 0, 0, 1), colour}, "YBR_FULL"},
    };
    for (const Case& c : cases) {
        CDicomSeriesLayout layout;
        std::string error;
        EXPECT_FALSE(layout.Sort(c.images, error));
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
    }
    // Orientations that differ by less than the tolerance are the same.
    CDicomImageHeader nearly = Header("b", 0, 10, 2);
    (*nearly.orientation)[1] = 0.00005;
    CDicomSeriesLayout layout;
    std::string error;
    EXPECT_TRUE(layout.Sort({Header("a", 0, 0, 1), nearly}, error)) << error;
}

TEST(DicomSeriesLayoutTest, CalibratesFromSpacingPositionsAndTriggerTimes) {
    auto at = [](const std::string& name, double z, double trigger) { return Header(name, z, trigger, 0); };
    CDicomImageHeader thick = at("one", 0, 0);
    thick.sliceThickness = 7.5;
    CDicomImageHeader unspaced = at("u", 0, 0);
    unspaced.pixelSpacing.reset();
    struct Case {
        const char* name;
        std::vector<CDicomImageHeader> images;
        std::optional<double> x, y, z, frameTime;
    };
    const std::vector<Case> cases = {
        // Gaps 6, 6, 9: the median is 6; trigger steps 30, 31, 30, 31, 30, 31: median 30.5 -> 31 (rounded).
        {"median gap and step",
         {at("a", 0, 0), at("b", 0, 30), at("c", 6, 0), at("d", 6, 31), at("e", 12, 0), at("f", 12, 30),
          at("g", 21, 0), at("h", 21, 31)},
         1.25, 1.5, 6.0, 31.0},
        {"one slice takes its thickness", {thick, at("two", 0, 40)}, 1.25, 1.5, 7.5, 40.0},
        {"a frame time beyond 5 s is not adopted", {at("a", 0, 0), at("b", 0, 6000)}, 1.25, 1.5, {}, {}},
        {"no pixel spacing keeps the pixel sizes", {unspaced}, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDicomSeriesLayout layout;
        std::string error;
        ASSERT_TRUE(layout.Sort(c.images, error)) << error;
        EXPECT_EQ(layout.m_calibration.m_pixelSizeX, c.x);
        EXPECT_EQ(layout.m_calibration.m_pixelSizeY, c.y);
        EXPECT_EQ(layout.m_calibration.m_pixelSizeZ, c.z);
        EXPECT_EQ(layout.m_calibration.m_frameTime, c.frameTime);
    }
}

}  // namespace
