#pragma once

#include <string>

// Parts of the program that bring large libraries with them (DICOM decoding,
// surface extraction) are built as shared modules and loaded the first time
// they are needed. Loading those libraries costs more than a whole start of
// the program otherwise, and most runs never use them.
//
// A module is looked for beside the installed program
// (<prefix>/<bin>/../<lib>/orvanta); programs run from the build tree (tests,
// tools) also look in the build tree's module folder.
class CRuntimeModule {
public:
    // The address of `symbol` in module `name` ("orvanta-dicom"), loading the
    // module on first use. Throws std::runtime_error, naming the module and
    // why, when it cannot be loaded or lacks the symbol.
    static void* Symbol(const std::string& name, const char* symbol);
};
