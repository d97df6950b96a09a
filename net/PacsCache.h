#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The folder retrieved images are kept in: one folder per study, in it one
// per series (or "study" for a whole study retrieved at once). A retrieve
// writes into a partial folder of its own that is renamed into place only
// once complete, so nothing half-retrieved is ever seen where a complete
// series would be. The cache is bounded: once over its size, the studies
// used longest ago go first.
class CPacsCache {
public:
    static constexpr uint64_t kDefaultLimitBytes = uint64_t{4} << 30;

    // $XDG_CACHE_HOME/orvanta/pacs, else ~/.cache/orvanta/pacs.
    static std::filesystem::path DefaultRoot();

    CPacsCache(std::filesystem::path root, uint64_t limitBytes);

    const std::filesystem::path& Root() const { return m_root; }

    // True when `uid` can name a cache folder: a DICOM UID, digits and dots,
    // at most 64 characters. Anything else (from a server or the command
    // line) could lead a path out of the cache.
    static bool IsUid(const std::string& uid);

    // A new empty folder for one retrieve. Partial folders of retrieves that
    // ended more than a day ago without finishing are removed first. Throws
    // std::runtime_error when the cache cannot be written.
    std::filesystem::path BeginPartial();
    // Puts a finished partial folder in place as `studyUid`'s series
    // `seriesUid` (empty: the whole study), replacing an older copy, marks
    // the study used and evicts older studies beyond the limit. Returns the
    // folder. Throws std::runtime_error (and discards `partial`) on failure.
    std::filesystem::path Commit(const std::filesystem::path& partial, const std::string& studyUid,
                                 const std::string& seriesUid);
    // Removes a partial folder and what it holds; never throws.
    void Discard(const std::filesystem::path& partial) noexcept;

    // Removes the studies used longest ago until the cache is within its
    // limit, never `keepStudy` (the one just retrieved).
    void Evict(const std::string& keepStudy);
    // The bytes the complete studies take.
    uint64_t SizeBytes() const;

private:
    std::filesystem::path PartialRoot() const { return m_root / ".partial"; }

    std::filesystem::path m_root;
    uint64_t m_limit;
};
