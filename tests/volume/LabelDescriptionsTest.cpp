#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LabelDescriptions.h"
#include "TempFolder.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

// What is written reads back as it was, in value order, with "Clear Label"
// first when the list had no label 0; lines as other programs write them
// (tabs, CRLF, comments, blank lines) read the same.
TEST(LabelDescriptions, WrittenTablesReadBackAndForeignLayoutsRead) {
    TempFolder folder;
    const CLabelDescription clear{0, {0, 0, 0}, 0.0, false, false, "Clear Label"};
    const CLabelDescription heart{7, {255, 128, 0}, 0.5, true, false, "Left ventricle (LV) \t 2"};
    const CLabelDescription last{65535, {1, 2, 3}, 1.0, false, true, ""};
    const CLabelDescription odd{3, {0, 0, 255}, 0.1 + 0.2, true, true, "caf\xc3\xa9 #1"};
    struct Case {
        const char* name;
        std::vector<CLabelDescription> written, read;
    };
    const Case cases[] = {
        {"nothing", {}, {clear}},
        {"unsorted", {last, heart, odd}, {clear, odd, heart, last}},
        {"own clear label",
         {heart, {0, {9, 9, 9}, 0.25, true, true, "Outside"}},
         {{0, {9, 9, 9}, 0.25, true, true, "Outside"}, heart}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.File("labels.txt");
        std::string error;
        ASSERT_TRUE(WriteLabelDescriptions(path, c.written, error)) << error;
        EXPECT_EQ(ReadText(path).rfind("################################################\n# ITK-SnAP", 0),
                  0u);
        std::vector<CLabelDescription> read;
        ASSERT_TRUE(ReadLabelDescriptions(path, read, error)) << error;
        EXPECT_EQ(read, c.read);
    }
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"labels.txt"})
        << "a temporary file stayed";

    const std::string path = folder.File("foreign.txt");
    WriteText(path,
              "# comment\r\n\r\n   \t\r\n\t0\t0\t0\t0\t0\t0\t0\t\"Clear Label\"\r\n"
              "  12  10 20 30  1e-1  1 0 \"a \"\t \r\n    # indented comment\n 1 255 0 0 1 1 1 \"Label 1\"");
    std::vector<CLabelDescription> read;
    std::string error;
    ASSERT_TRUE(ReadLabelDescriptions(path, read, error)) << error;
    const std::vector<CLabelDescription> expected = {
        clear, {12, {10, 20, 30}, 0.1, true, false, "a "}, {1, {255, 0, 0}, 1.0, true, true, "Label 1"}};
    EXPECT_EQ(read, expected);
}

// A malformed line is refused naming its line and what is wrong, and what
// the caller had is kept; a list that could not be read back is not written.
TEST(LabelDescriptions, MalformedTablesAreRefusedWithTheLine) {
    TempFolder folder;
    const std::string path = folder.File("labels.txt");
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"# c\n1 255 0 0 1 1 1 \"a\"\n1 0 0 0 1 1 1 \"b\"\n",
         "line 3: label 1 is described again (first on line 2)"},
        {"70000 0 0 0 1 1 1 \"a\"", "line 1: the label value 70000 is outside 0 to 65535"},
        {"-1 0 0 0 1 1 1 \"a\"", "line 1: the label value -1 is outside"},
        {"99999999999999999999 0 0 0 1 1 1 \"a\"", "line 1: the label value 99999999999999999999 is outside"},
        {"1.5 0 0 0 1 1 1 \"a\"", "line 1: the label value \"1.5\" is not a whole number"},
        {"1 256 0 0 1 1 1 \"a\"", "line 1: the red component 256 is outside 0 to 255"},
        {"1 0 0 x 1 1 1 \"a\"", "line 1: the blue component \"x\" is not a whole number"},
        {"1 0 0 0 1.5 1 1 \"a\"", "line 1: the opacity 1.5 is outside 0 to 1"},
        {"1 0 0 0 nan 1 1 \"a\"", "line 1: the opacity \"nan\" is not a number"},
        {"1 0 0 0 1 2 1 \"a\"", "line 1: the visibility 2 is outside 0 to 1"},
        {"1 0 0 0 1 1 \"a\"", "line 1: the mesh visibility is missing"},
        {"1 0 0 0 1 1 1", "line 1: the name is missing"},
        {"1 0 0 0 1 1 1 a", "line 1: the name does not start with a double quote"},
        {"1 0 0 0 1 1 1 \"a", "line 1: the name has no closing double quote"},
        {"1 0 0 0 1 1 1 \"a\" b", "line 1: there is more after the name's closing double quote"},
        {"1 0 0 0 1 1 1 \"a\x01\"", "line 1: the name holds a control character"},
        {std::string("1 0 0 0 1 1 1 \"\0\"", 17), "line 1: the name holds a control character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteText(path, c.text);
        std::vector<CLabelDescription> kept = {{5, {1, 1, 1}, 1.0, true, true, "kept"}};
        const std::vector<CLabelDescription> before = kept;
        std::string error;
        EXPECT_FALSE(ReadLabelDescriptions(path, kept, error));
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_EQ(kept, before);
    }
    std::vector<CLabelDescription> out;
    std::string error;
    EXPECT_FALSE(ReadLabelDescriptions(folder.File("missing.txt"), out, error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
    EXPECT_FALSE(ReadLabelDescriptions(folder.Path().string(), out, error));
    EXPECT_NE(error.find("not a file"), std::string::npos) << error;

    WriteText(path, "kept");
    const struct {
        CLabelDescription label;
        const char* message;
    } refused[] = {
        {{1, {0, 0, 0}, 1.0, true, true, "say \"hi\""}, "the name of label 1 holds a double quote"},
        {{2, {0, 0, 0}, 1.0, true, true, "two\nlines"}, "the name of label 2 holds"},
        {{65536, {0, 0, 0}, 1.0, true, true, "big"}, "label 65536 is outside 0 to 65535"},
        {{3, {0, 0, 0}, -0.5, true, true, "clear"}, "the opacity of label 3 is outside 0 to 1"}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.message);
        EXPECT_FALSE(WriteLabelDescriptions(path, {r.label}, error));
        EXPECT_EQ(error.rfind(r.message, 0), 0u) << error;
    }
    const CLabelDescription twice{4, {0, 0, 0}, 1.0, true, true, "x"};
    EXPECT_FALSE(WriteLabelDescriptions(path, {twice, twice}, error));
    EXPECT_EQ(error, "label 4 is described twice");
    EXPECT_FALSE(WriteLabelDescriptions(folder.File("no/such/folder.txt"), {twice}, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(ReadText(path), "kept");
}

// The description file of a label image: <stem>.txt, <stem>_labels.txt or the
// folder's label_descriptions.txt, the first that reads; a broken file named
// for descriptions is reported, a stray <stem>.txt of notes passed over.
TEST(LabelDescriptions, TheFileBesideALabelImageIsFound) {
    TempFolder folder;
    const std::string good = "1 255 0 0 1 1 1 \"one\"\n";
    const std::string image = folder.File("heart.seg.nii.gz");
    EXPECT_EQ(LabelDescriptionsPathFor(image), folder.File("heart.seg_labels.txt"));
    EXPECT_EQ(LabelDescriptionsPathFor(folder.File("a.HDR")), folder.File("a_labels.txt"));
    EXPECT_EQ(LabelDescriptionsPathFor("seg.nii"), "seg_labels.txt");
    EXPECT_EQ(LabelDescriptionCandidates("seg.nii").back(), "label_descriptions.txt");

    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::string>> files;
        const char* found;    // "" for none
        const char* refusal;  // what the refusal starts with, "" for none
    };
    const Case cases[] = {
        {"none", {}, "", ""},
        {"stem", {{"heart.seg.txt", good}, {"heart.seg_labels.txt", good}}, "heart.seg.txt", ""},
        {"notes passed over",
         {{"heart.seg.txt", "my notes"}, {"heart.seg_labels.txt", good}},
         "heart.seg_labels.txt",
         ""},
        {"folder's",
         {{"heart.seg.txt", "my notes"}, {"label_descriptions.txt", good}},
         "label_descriptions.txt",
         ""},
        {"notes only", {{"heart.seg.txt", "my notes"}}, "", ""},
        {"broken",
         {{"heart.seg_labels.txt", "1 2 3"}, {"label_descriptions.txt", "x"}},
         "",
         "heart.seg_labels.txt: line 1: the blue component is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder place;
        for (const auto& [name, text] : c.files) WriteText(place.File(name), text);
        std::vector<CLabelDescription> read;
        std::string refusal = "stale";
        const std::string found = FindLabelDescriptions(place.File("heart.seg.nii.gz"), &read, &refusal);
        EXPECT_EQ(found, *c.found == '\0' ? "" : place.File(c.found));
        EXPECT_EQ(read.size(), *c.found == '\0' ? 0u : 1u);
        if (*c.refusal == '\0')
            EXPECT_EQ(refusal, "");
        else
            EXPECT_EQ(refusal.rfind(place.File(c.refusal), 0), 0u) << refusal;
    }
}
