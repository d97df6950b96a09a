#include "FfmpegLibrary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

// FFmpeg that is missing, or a library that is not FFmpeg, is an error that
// names what is missing.
TEST(FfmpegLibrary, NamesTheLibraryOrFunctionThatIsMissing) {
    const struct {
        std::vector<const char*> libraries;
        const char* missing;
    } cases[] = {
        {{"libavformat.so.999"}, "libavformat.so.999"},
        {{"libz.so.1", "libavcodec.so.999"}, "libavcodec.so.999"},
        {{"libz.so.1"}, "it has no function av_buffer_alloc"},
    };
    for (const auto& c : cases) {
        try {
            CFfmpegLibrary library(c.libraries);
            ADD_FAILURE() << c.missing << " was not missed";
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("FFmpeg cannot be loaded: ", 0), 0u) << message;
            EXPECT_NE(message.find(c.missing), std::string::npos) << message;
        }
    }
}
