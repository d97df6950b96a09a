#include "PacsCache.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

uint64_t FolderBytes(const fs::path& folder) {
    uint64_t bytes = 0;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        std::error_code sizeError;
        if (entry->is_regular_file(sizeError)) {
            const uintmax_t size = entry->file_size(sizeError);
            if (!sizeError) bytes += size;
        }
    }
    return bytes;
}

// The study folders, each with when it was last used.
std::vector<std::pair<fs::file_time_type, fs::path>> Studies(const fs::path& root) {
    std::vector<std::pair<fs::file_time_type, fs::path>> studies;
    std::error_code error;
    for (fs::directory_iterator entry(root, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        std::error_code kindError;
        if (!entry->is_directory(kindError) || !CPacsCache::IsUid(entry->path().filename().string()))
            continue;
        const fs::file_time_type used = fs::last_write_time(entry->path(), kindError);
        if (!kindError) studies.emplace_back(used, entry->path());
    }
    std::sort(studies.begin(), studies.end());
    return studies;
}

}  // namespace

fs::path CPacsCache::DefaultRoot() {
    // Relative values are to be ignored, as the XDG rules have it.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg) / "orvanta" / "pacs";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && home[0] == '/' ? home : "/tmp") / ".cache" / "orvanta" / "pacs";
}

CPacsCache::CPacsCache(fs::path root, uint64_t limitBytes) : m_root(std::move(root)), m_limit(limitBytes) {}

bool CPacsCache::IsUid(const std::string& uid) {
    return !uid.empty() && uid.size() <= 64 && uid.find_first_not_of("0123456789.") == std::string::npos &&
           uid.find_first_not_of('.') != std::string::npos;
}

fs::path CPacsCache::BeginPartial() {
    std::error_code error;
    fs::create_directories(PartialRoot(), error);
    if (error)
        throw std::runtime_error("the PACS cache " + m_root.string() + " cannot be made: " + error.message());
    const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (fs::directory_iterator entry(PartialRoot(), error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        std::error_code timeError;
        if (fs::last_write_time(entry->path(), timeError) < dayAgo && !timeError) Discard(entry->path());
    }
    std::string name = (PartialRoot() / "retrieve-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("the PACS cache " + m_root.string() + " cannot be written");
    return name;
}

fs::path CPacsCache::Commit(const fs::path& partial, const std::string& studyUid,
                            const std::string& seriesUid) {
    if (!IsUid(studyUid) || (!seriesUid.empty() && !IsUid(seriesUid))) {
        Discard(partial);
        throw std::runtime_error("the PACS named a study or series by something that is not a DICOM UID");
    }
    const fs::path study = m_root / studyUid;
    const fs::path target = study / (seriesUid.empty() ? std::string("study") : seriesUid);
    std::error_code error;
    fs::create_directories(study, error);
    // An older copy goes aside first, so the place is never empty of a complete copy for long and
    // never holds a mixture.
    fs::path older;
    if (!error && fs::exists(target, error)) {
        older = partial.string() + ".older";
        fs::rename(target, older, error);
    }
    if (!error) fs::rename(partial, target, error);
    if (error) {
        Discard(partial);
        if (!older.empty() && !fs::exists(target)) fs::rename(older, target, error);
        throw std::runtime_error("the retrieved images cannot be put in the PACS cache " + m_root.string() +
                                 ": " + error.message());
    }
    if (!older.empty()) Discard(older);
    fs::last_write_time(study, fs::file_time_type::clock::now(), error);
    Evict(studyUid);
    return target;
}

void CPacsCache::Discard(const fs::path& partial) noexcept {
    std::error_code error;
    fs::remove_all(partial, error);
}

void CPacsCache::Evict(const std::string& keepStudy) {
    auto studies = Studies(m_root);
    std::vector<uint64_t> sizes;
    uint64_t total = 0;
    for (const auto& study : studies) total += sizes.emplace_back(FolderBytes(study.second));
    for (size_t i = 0; i < studies.size() && total > m_limit; ++i) {
        if (studies[i].second.filename() == keepStudy) continue;
        std::error_code error;
        fs::remove_all(studies[i].second, error);
        if (!error) total -= sizes[i];
    }
}

uint64_t CPacsCache::SizeBytes() const {
    uint64_t total = 0;
    for (const auto& study : Studies(m_root)) total += FolderBytes(study.second);
    return total;
}
