#pragma once

#include <string>

// A movie the directory load left out, with the reason in words the user can
// act on; the application shows the list once the load is over.
struct CSkippedMovie {
    std::string path;
    std::string reason;
};
