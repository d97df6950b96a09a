#pragma once

#include <filesystem>

#include "DimseClient.h"
#include "PacsCache.h"

// Brings a series or a study from an archive into the cache: asks the
// archive what it holds (to know the study and how many images to expect),
// retrieves into a partial folder and puts that in place only once every
// image has come. A failed or cancelled retrieve leaves nothing behind.
class CPacsRetriever {
public:
    // The cache folder of what `retrieval` names. Throws std::runtime_error,
    // naming the server and the step, when nothing matches or the retrieve fails.
    static std::filesystem::path Fetch(const CPacsServer& server, const CDimseClient::Settings& settings,
                                       CPacsCache& cache, CDimseClient::Retrieval retrieval,
                                       const CDimseClient::Progress& progress);
};
