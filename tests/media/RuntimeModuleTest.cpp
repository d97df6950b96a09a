#include "RuntimeModule.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "FfmpegLibrary.h"
#include "TestData.h"

// The libraries the program loads when first needed: its modules and FFmpeg.

// A module that is missing, present but no loadable library, or not the one
// the program expects, is a clear error naming it; one that is there hands
// out its entry point.
TEST(RuntimeModule, LoadsBuiltModulesAndNamesWhatIsMissing) {
    EXPECT_NE(CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec"), nullptr);
    EXPECT_NE(CRuntimeModule::Symbol("orvanta-surface", "OrvantaSurfaceExtractor"), nullptr);

    // A file where the build tree keeps its modules, which holds text.
    const std::string broken = "orvanta-broken-" + std::to_string(getpid());
    const std::string brokenPath = ORVANTA_TEST_MODULE_DIR "/" + broken + ".so";
    ASSERT_TRUE(WriteText(brokenPath, std::string(4096, 'x')));
    const struct {
        std::string module;
        const char* symbol;
        std::string message;  // how the error starts
    } failures[] = {
        {"orvanta-nothing", "Entry", "the program's orvanta-nothing module cannot be loaded: it is not installed"},
        {broken, "Entry", "the program's " + broken + " module cannot be loaded; " + brokenPath + ": "},
        {"orvanta-dicom", "NoSuchEntry", "the program's orvanta-dicom module is not the one this program was built with"},
    };
    for (const auto& failure : failures) {
        try {
            CRuntimeModule::Symbol(failure.module, failure.symbol);
            ADD_FAILURE() << failure.module << " " << failure.symbol << " was found";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(failure.message, 0), 0u) << e.what();
        }
    }
    std::filesystem::remove(brokenPath);
}

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
            EXPECT_EQ(std::string(e.what()).rfind("FFmpeg cannot be loaded: ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.missing), std::string::npos) << e.what();
        }
    }
}
