#include "VisError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(VisError, FullMessageNamesSourceFunctionAndMessage) {
    CVisError error("Write to AVI stream failed", -5, "", "VekMovie", 120);
    EXPECT_STREQ(error.what(), "Write to AVI stream failed");
    const std::string expected =
        "Exception: \nsource file: VekMovie\nfunction name: \nmessage: Write to AVI stream failed";
    EXPECT_EQ(error.FullMessage(), expected);
    // Rebuilt, not appended to, on a second call.
    EXPECT_EQ(error.FullMessage(), expected);
    EXPECT_EQ(error.ErrorCode(), -5);
    EXPECT_EQ(error.Line(), 120);
}

TEST(VisError, FileErrorPutsTheFileNameBeforeTheMessage) {
    CVisFileIOError error("/data/movie.avi", "Can't open", kVisErrorFailure, "Open", "VekMovie", 7);
    const std::string expected =
        "Exception: \nsource file: VekMovie\nfunction name: Open\nfile name: /data/movie.avi"
        "\nmessage: Can't open";
    EXPECT_EQ(error.FullMessage(), expected);
    // Through the base class the same text is shown.
    CVisError& base = error;
    EXPECT_EQ(base.FullMessage(), expected);
}

TEST(VisError, CopyKeepsItsOwnComposedText) {
    auto original = std::make_unique<CVisError>("Out of memory", kVisErrorOutOfMemory, "", "VekMovie", 1);
    original->FullMessage();
    CVisError copy(*original);
    original.reset();
    EXPECT_STREQ(copy.FullMessage(), "Exception: \nsource file: VekMovie\nfunction name: \nmessage: Out of memory");
    EXPECT_EQ(copy.ErrorCode(), static_cast<int32_t>(0x8007000E));
}

TEST(VisError, ThrowRaisesACopyAsTheBaseType) {
    CVisFileIOError error("a.avi", "Invalid input image", kVisErrorInvalidArgument, "", "VekMovie", 3);
    try {
        error.Throw();
        FAIL() << "Throw returned";
    } catch (const CVisFileIOError&) {
        FAIL() << "the copy should be a plain CVisError";
    } catch (CVisError& raised) {
        EXPECT_STREQ(raised.what(), "Invalid input image");
        EXPECT_EQ(raised.ErrorCode(), static_cast<int32_t>(0x80070057));
        EXPECT_NE(&raised, &error);
    }
}
