#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DicomPartCheck.h"
#include "FakeHttpServer.h"

namespace {

TEST(DicomPartCheckTest, OnlyWholeDicomFilesPass) {
    const std::string good = CFakeHttpServer::DicomObject(1);
    ASSERT_GT(good.size(), 300u);
    EXPECT_EQ(DicomPartProblem(good, static_cast<int64_t>(good.size())), "");
    // The file meta group ends where its group length, the first element, says.
    ASSERT_EQ(good.substr(132, 6), std::string("\x02\0\0\0UL", 6));
    const size_t metaEnd = 144 + static_cast<uint8_t>(good[140]) + 256u * static_cast<uint8_t>(good[141]);
    std::string noMagic = good;
    noMagic[129] = 'X';
    std::string noMeta = good.substr(0, 132) + good.substr(metaEnd);
    std::string noSyntax = good;  // its Transfer Syntax UID renumbered (0002,0011)
    noSyntax[noSyntax.find(std::string("\x02\0\x10\0UI", 6)) + 2] = 0x11;
    struct Case {
        std::string name;
        std::string bytes;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"empty", "", "is not a DICOM file"},
        {"text", std::string(400, 'x'), "is not a DICOM file"},
        {"no magic", noMagic, "is not a DICOM file"},
        {"preamble only", good.substr(0, 132), "has no file meta information"},
        {"meta cut", good.substr(0, metaEnd - 3), "cut short in its file meta information"},
        {"meta only", good.substr(0, metaEnd), "ends with its file meta information"},
        {"no meta", noMeta, "has no file meta information"},
        {"no transfer syntax", noSyntax, "names no transfer syntax"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string problem = DicomPartProblem(c.bytes, static_cast<int64_t>(c.bytes.size()));
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    // The head may be shorter than the object: only its size says it is whole.
    EXPECT_EQ(DicomPartProblem(good.substr(0, metaEnd + 8), static_cast<int64_t>(good.size())), "");
}

}  // namespace
