#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ObjText.h"

namespace {

// The C library in the "C" locale is the reference for the number readers.
class ObjTextTest : public testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

bool SameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace

TEST_F(ObjTextTest, ScanFloatsReadsWhatSscanfReads) {
    const char* inputs[] = {" 1 2 3",
                            "1. .5 -0.25",
                            "+1.5 -2e3 4E-2",
                            "\t 7\v8\f9",
                            "1/2/3",
                            "1//4 2//5",
                            "1.5-2+3",
                            "abc 1 2",
                            "",
                            "   ",
                            "+-1 2 3",
                            "-+1",
                            "1e50 -1e50 1",
                            "1e-50 -1e-50 2",
                            "1e400 1e-400 3",
                            "1e-40 -1e-45 1e-46",
                            "inf -nan NaN",
                            "0.1 0.2 0.3",
                            "16777217 2 3",
                            "3.4028235e38 1 1",
                            "1 2 3 4 5",
                            "1.5 2.5\r",
                            ".",
                            "-.5e1 +.5 5."};
    for (const char* input : inputs) {
        float expected[3] = {-7, -7, -7}, actual[3] = {-7, -7, -7};
        const int expectedCount = std::sscanf(input, "%f %f %f", &expected[0], &expected[1], &expected[2]);
        const int actualCount = ScanFloats(input, actual, 3);
        EXPECT_EQ(actualCount, std::max(expectedCount, 0)) << "input \"" << input << "\"";
        for (int i = 0; i < actualCount; ++i)
            EXPECT_TRUE(SameFloat(actual[i], expected[i]))
                << "input \"" << input << "\" number " << i << ": " << actual[i] << " vs " << expected[i];
    }
}

TEST_F(ObjTextTest, LeadingIntReadsWhatAtoiReads) {
    for (const char* input :
         {"07", "12x", "", "x1", " \t42", "+5", "-3", "0009", "2147483647", "-2147483648"})
        EXPECT_EQ(LeadingInt(input), std::atoi(input)) << "input \"" << input << "\"";
    // atoi leaves overflow undefined; ours clamps.
    EXPECT_EQ(LeadingInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(LeadingInt("-99999999999999999999"), -2147483647 - 1);
}
