#include "RuntimeModule.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "TestData.h"

// A module that is missing, present but no loadable library, or not the one
// the program expects, is a clear error naming it; one that is there hands
// out its entry point.
TEST(RuntimeModule, LoadsBuiltModulesAndNamesWhatIsMissing) {
    void* const entry = CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec");
    EXPECT_NE(entry, nullptr);
    EXPECT_NE(CRuntimeModule::Symbol("orvanta-surface", "OrvantaSurfaceExtractor"), nullptr);

    // A file that holds text, beside the module just loaded.
    Dl_info loaded{};
    ASSERT_NE(dladdr(entry, &loaded), 0);
    const std::string broken = "orvanta-broken-" + std::to_string(getpid());
    const std::string brokenPath =
        (std::filesystem::path(loaded.dli_fname).parent_path() / (broken + ".so")).string();
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
