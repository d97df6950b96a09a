#include "RuntimeModule.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

// A module that is missing, or is not the one the program expects, is a clear
// error naming it; one that is there hands out its entry point.
TEST(RuntimeModule, LoadsBuiltModulesAndNamesWhatIsMissing) {
    EXPECT_NE(CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec"), nullptr);
    EXPECT_NE(CRuntimeModule::Symbol("orvanta-surface", "OrvantaSurfaceExtractor"), nullptr);

    const struct {
        const char* module;
        const char* symbol;
        const char* message;
    } failures[] = {
        {"orvanta-nothing", "Entry", "the program's orvanta-nothing module cannot be loaded: it is not installed"},
        {"orvanta-dicom", "NoSuchEntry", "the program's orvanta-dicom module is not the one this program was built with"},
    };
    for (const auto& failure : failures) {
        try {
            CRuntimeModule::Symbol(failure.module, failure.symbol);
            ADD_FAILURE() << failure.module << " " << failure.symbol << " was found";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), failure.message);
        }
    }
}
