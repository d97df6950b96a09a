// The cache of retrieved studies: complete folders only, bounded in size.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "PacsCache.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

// Commits a series of `bytes` bytes as if just retrieved.
fs::path Put(CPacsCache& cache, const std::string& study, const std::string& series, size_t bytes) {
    const fs::path partial = cache.BeginPartial();
    std::ofstream(partial / "image.dcm", std::ios::binary) << std::string(bytes, 'x');
    return cache.Commit(partial, study, series);
}

// Makes `study` look last used `hoursAgo` hours ago.
void Age(const CPacsCache& cache, const std::string& study, int hoursAgo) {
    fs::last_write_time(cache.Root() / study,
                        fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
}

TEST(PacsCacheTest, EvictsTheStudiesUsedLongestAgo) {
    struct Case {
        const char* what;
        uint64_t limit;
        std::vector<std::string> kept;  // of studies 1 (oldest), 2, 3 after study 4 comes
    };
    const Case cases[] = {
        {"all fit", 10000, {"1.1", "1.2", "1.3", "1.4"}},
        {"one must go", 3500, {"1.2", "1.3", "1.4"}},
        {"only the newest fits", 1500, {"1.4"}},
        {"the newest stays even over the limit", 10, {"1.4"}},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        CPacsCache cache(folder.Path() / "pacs", c.limit);
        for (int study = 1; study <= 3; ++study) {
            CPacsCache roomy(cache.Root(), 1 << 30);
            Put(roomy, "1." + std::to_string(study), "9.1", 1000);
            Age(roomy, "1." + std::to_string(study), 10 - study);
        }
        Put(cache, "1.4", "9.1", 1000);
        std::vector<std::string> kept = FolderEntries(cache.Root());
        kept.erase(std::remove(kept.begin(), kept.end(), ".partial"), kept.end());
        EXPECT_EQ(kept, c.kept) << c.what;
        EXPECT_LE(cache.SizeBytes(), std::max<uint64_t>(c.limit, 1000)) << c.what;
    }
}

TEST(PacsCacheTest, OnlyCompleteFoldersAppearAndNamesStayInside) {
    TempFolder folder;
    CPacsCache cache(folder.Path() / "pacs", 1 << 20);
    // A second retrieve of a series replaces the first whole.
    const fs::path first = Put(cache, "1.2.3", "1.2.3.4", 10);
    std::ofstream(first / "stale.dcm") << "old";
    const fs::path second = Put(cache, "1.2.3", "1.2.3.4", 20);
    EXPECT_EQ(first, second);
    EXPECT_EQ(FolderEntries(second), std::vector<std::string>{"image.dcm"});
    EXPECT_EQ(fs::file_size(second / "image.dcm"), 20u);
    // A study retrieved whole has a folder of its own beside its series.
    EXPECT_EQ(Put(cache, "1.2.3", "", 5), cache.Root() / "1.2.3" / "study");

    // Names from a server or the command line never lead out of the cache.
    for (const std::string& bad : {std::string("../x"), std::string("1.2/3"), std::string("."),
                                   std::string(""), std::string(65, '1'), std::string("1.2.x")}) {
        EXPECT_FALSE(CPacsCache::IsUid(bad)) << bad;
        const fs::path partial = cache.BeginPartial();
        EXPECT_THROW(cache.Commit(partial, bad.empty() ? "x" : bad, "1.5"), std::runtime_error) << bad;
        EXPECT_FALSE(fs::exists(partial)) << bad;
    }
    EXPECT_TRUE(CPacsCache::IsUid("1.2.840.10008.5.1.4.1.1.4"));
    // Partial folders of runs that stopped a day ago go at the next retrieve.
    const fs::path abandoned = cache.BeginPartial();
    fs::last_write_time(abandoned, fs::file_time_type::clock::now() - std::chrono::hours(25));
    const fs::path current = cache.BeginPartial();
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(current));
}

TEST(PacsCacheTest, FollowsTheXdgCacheFolder) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* root;
    };
    const Case cases[] = {
        {"/x/cache", "/home/u", "/x/cache/orvanta/pacs"},
        {nullptr, "/home/u", "/home/u/.cache/orvanta/pacs"},
        {"relative", "/home/u", "/home/u/.cache/orvanta/pacs"},
    };
    const char* savedXdg = std::getenv("XDG_CACHE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
    for (const Case& c : cases) {
        if (c.xdg)
            setenv("XDG_CACHE_HOME", c.xdg, 1);
        else
            unsetenv("XDG_CACHE_HOME");
        setenv("HOME", c.home, 1);
        EXPECT_EQ(CPacsCache::DefaultRoot(), fs::path(c.root)) << c.root;
    }
    if (savedXdg)
        setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

}  // namespace
