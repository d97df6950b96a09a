// The DIMSE client against a real archive: queries, both retrieves, the
// cache they fill and every way the exchange can fail.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "DicomFolder.h"
#include "PacsFixture.h"
#include "PacsRetriever.h"

namespace fs = std::filesystem;

namespace {

const std::string kRoot = "1.2.826.0.1.3680043.2.1125.7.";

std::set<std::string> SeriesUids(const std::vector<CDimseClient::Series>& rows) {
    std::set<std::string> uids;
    for (const CDimseClient::Series& row : rows) uids.insert(row.seriesUid);
    return uids;
}

// The DICOM files in `folder` and below.
size_t DicomFiles(const fs::path& folder) {
    size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(folder, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error))
        if (entry->is_regular_file() && CDicomFolder::ClaimsDicom(entry->path().string())) ++count;
    return count;
}

// What partial folders a cache holds: none once every retrieve has ended.
std::vector<std::string> Partial(const CPacsCache& cache) {
    return fs::exists(cache.Root() / ".partial") ? FolderEntries(cache.Root() / ".partial")
                                                 : std::vector<std::string>{};
}

using EMethod = CDimseClient::EMethod;

TEST_F(PacsFixture, QueryFiltersMatchTheSeriesTheyShould) {
    using Query = CDimseClient::Query;
    const std::string cine = kRoot + "1.1", ct = kRoot + "1.2", stack = kRoot + "2.1";
    struct Case {
        const char* what;
        Query query;
        std::set<std::string> series;
    };
    const auto with = [](const std::function<void(Query&)>& set) {
        Query query;
        set(query);
        return query;
    };
    const Case cases[] = {
        {"everything", Query{}, {cine, ct, stack}},
        {"patient name with *", with([](Query& q) { q.patientName = "DOE*"; }), {cine, ct}},
        {"patient ID", with([](Query& q) { q.patientId = "P002"; }), {stack}},
        {"patient ID with ?", with([](Query& q) { q.patientId = "P00?"; }), {cine, ct, stack}},
        {"date range",
         with([](Query& q) { q.studyDateFrom = "20240101", q.studyDateTo = "20241231"; }),
         {cine, ct}},
        {"dates from", with([](Query& q) { q.studyDateFrom = "20250101"; }), {stack}},
        {"dates up to", with([](Query& q) { q.studyDateTo = "20231231"; }), {}},
        {"modality", with([](Query& q) { q.modality = "CT"; }), {ct}},
        {"series description", with([](Query& q) { q.seriesDescription = "cine*"; }), {cine}},
        {"study", with([](Query& q) { q.studyUid = kRoot + "2"; }), {stack}},
        {"series without its study", with([&ct](Query& q) { q.seriesUid = ct; }), {ct}},
        {"a patient the archive lacks", with([](Query& q) { q.patientId = "NOBODY"; }), {}},
        {"an unknown series", with([](Query& q) { q.seriesUid = kRoot + "9"; }), {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SeriesUids(Client().FindSeries(Server(), m_settings, c.query)), c.series) << c.what;

    // Each row carries its study's fields and the archive's image count.
    Query query;
    query.seriesUid = stack;
    const std::vector<CDimseClient::Series> rows = Client().FindSeries(Server(), m_settings, query);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].study.patientName, "ROE^RICHARD");
    EXPECT_EQ(rows[0].study.patientId, "P002");
    EXPECT_EQ(rows[0].study.studyDate, "20250310");
    EXPECT_EQ(rows[0].study.studyUid, kRoot + "2");
    EXPECT_EQ(rows[0].seriesNumber, "1");
    EXPECT_EQ(rows[0].seriesDescription, "stack");
    EXPECT_EQ(rows[0].modality, "MR");
    EXPECT_EQ(rows[0].images, 20);
    const std::vector<CDimseClient::Study> studies =
        Client().FindStudies(Server(), m_settings, with([](Query& q) { q.patientName = "DOE^JANE"; }));
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].images, 5);
    EXPECT_NO_THROW(Client().Echo(Server(), m_settings));
}

TEST_F(PacsFixture, RetrievesBringEveryImageIntoTheCache) {
    struct Case {
        EMethod method;
        std::string study;
        std::string series;
        size_t images;
    };
    const Case cases[] = {
        {EMethod::kGet, "", kRoot + "2.1", 20},
        {EMethod::kMove, "", kRoot + "2.1", 20},
        {EMethod::kGet, kRoot + "1", "", 5},
        {EMethod::kMove, kRoot + "1", kRoot + "1.2", 2},
    };
    CPacsCache cache(m_folder.Path() / "cache", CPacsCache::kDefaultLimitBytes);
    for (const Case& c : cases) {
        const std::string what =
            std::string(c.method == EMethod::kGet ? "C-GET " : "C-MOVE ") + c.study + " " + c.series;
        CDimseClient::Retrieval retrieval = SeriesRetrieval(c.series, c.method);
        retrieval.studyUid = c.study;
        int lastReceived = 0, lastExpected = 0;
        const fs::path folder =
            CPacsRetriever::Fetch(Server(), m_settings, cache, retrieval, [&](int received, int expected) {
                lastReceived = received;
                lastExpected = expected;
                return true;
            });
        const fs::path study = c.study.empty() ? fs::path(kRoot + "2") : fs::path(c.study);
        EXPECT_EQ(folder, cache.Root() / study / (c.series.empty() ? std::string("study") : c.series))
            << what;
        EXPECT_EQ(DicomFiles(folder), c.images) << what;
        EXPECT_EQ(lastExpected, static_cast<int>(c.images)) << what;
        // A C-MOVE reports what has come by the server's last pending answer.
        if (c.method == EMethod::kGet) {
            EXPECT_EQ(lastReceived, static_cast<int>(c.images)) << what;
        }
        EXPECT_TRUE(Partial(cache).empty()) << what;
    }
    // The retrieved series loads as a folder would.
    CDicomFolder loaded;
    std::string error;
    ASSERT_TRUE(loaded.Scan((cache.Root() / (kRoot + "2") / (kRoot + "2.1")).string(), error)) << error;
    EXPECT_EQ(loaded.Table().rows.size(), 1u);
}

// A peer on the loopback that takes one connection and answers it with
// `reply` (nothing: it never answers), or never accepts at all.
class CFakePeer {
public:
    enum class EMode { kNeverAccept, kReply };

    CFakePeer(EMode mode, std::string reply) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_fd, 4);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        if (mode == EMode::kReply)
            m_thread = std::thread([this, reply] {
                const int peer = accept(m_fd, nullptr, nullptr);
                if (peer < 0) return;
                char request[256];
                (void)!recv(peer, request, sizeof request, 0);
                if (!reply.empty()) (void)!send(peer, reply.data(), reply.size(), MSG_NOSIGNAL);
                close(peer);
            });
    }
    ~CFakePeer() {
        shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        close(m_fd);
    }
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST_F(PacsFixture, FaultsSayWhichServerAndWhichStepFailed) {
    CPacsCache cache(m_folder.Path() / "cache", CPacsCache::kDefaultLimitBytes);
    const std::string stack = kRoot + "2.1";
    // The first bytes of an association's acceptance (type 2, then a length
    // promising far more than comes).
    const std::string cutShort("\x02\x00\x00\x00\x10\x00\x00\x01", 8);
    CFakePeer silent(CFakePeer::EMode::kNeverAccept, "");
    CFakePeer junk(CFakePeer::EMode::kReply, "HTTP/1.1 400 Bad Request\r\n\r\nnot DICOM at all");
    CFakePeer truncated(CFakePeer::EMode::kReply, cutShort);
    const int nobody = COrthancServer::FreePorts(1)[0];
    const CPacsServer orthanc = Server();
    // Each retrieves a series by C-GET, or by C-MOVE to `movePort` when set.
    struct Case {
        const char* what;
        CPacsServer server;
        std::string ourAet;
        std::string series;
        int movePort;
        std::vector<std::string> message;
    };
    const auto at = [](int port) { return CPacsServer{"ORTHANC", "127.0.0.1", port}; };
    const Case cases[] = {
        // clang-format off
        {"wrong called AE title", CPacsServer{"NOTORTHANC", "127.0.0.1", orthanc.port}, "ORVANTA", stack, 0,
         {"NOTORTHANC@127.0.0.1", "association", "refused"}},
        {"our AE title unknown to the archive", orthanc, "STRANGER", stack, 0,
         {orthanc.Text(), "association", "refused", "STRANGER"}},
        {"our AE title too long", orthanc, "ABCDEFGHIJKLMNOPQ", stack, 0,
         {orthanc.Text(), "association", "longer than 16"}},
        {"nothing listens", at(nobody), "ORVANTA", stack, 0, {at(nobody).Text(), "association"}},
        {"no answer", at(silent.Port()), "ORVANTA", stack, 0,
         {at(silent.Port()).Text(), "association", "no answer within 1 s"}},
        {"not DICOM", at(junk.Port()), "ORVANTA", stack, 0, {at(junk.Port()).Text(), "association", "not DICOM"}},
        {"cut short", at(truncated.Port()), "ORVANTA", stack, 0,
         {at(truncated.Port()).Text(), "association", "broke off"}},
        {"no such series", orthanc, "ORVANTA", kRoot + "9", 0, {orthanc.Text(), "C-FIND", "no series " + kRoot + "9"}},
        {"a UID that is a path", orthanc, "ORVANTA", "../../etc", 0, {"not a DICOM UID"}},
        {"C-MOVE port taken", orthanc, "ORVANTA", stack, silent.Port(),
         {orthanc.Text(), "C-MOVE", "cannot listen on port"}},
        // clang-format on
    };
    for (const Case& c : cases) {
        CDimseClient::Settings settings = m_settings;
        settings.ourAet = c.ourAet;
        settings.timeoutSeconds = 1;
        std::string message;
        try {
            CDimseClient::Retrieval retrieval =
                SeriesRetrieval(c.series, c.movePort ? EMethod::kMove : EMethod::kGet);
            if (c.movePort) retrieval.movePort = c.movePort;
            CPacsRetriever::Fetch(c.server, settings, cache, retrieval, {});
        } catch (const std::exception& e) {
            message = e.what();
        }
        for (const std::string& part : c.message)
            EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << c.what << ": " << message;
        // Nothing of a failed retrieve stays in the cache.
        EXPECT_TRUE(Partial(cache).empty()) << c.what;
        EXPECT_FALSE(fs::exists(cache.Root() / (kRoot + "2") / stack)) << c.what;
    }
}

TEST_F(PacsFixture, AnArchiveStoppingMidTransferLeavesNothing) {
    for (const EMethod method : {EMethod::kGet, EMethod::kMove}) {
        const char* step = method == EMethod::kGet ? "C-GET" : "C-MOVE";
        COrthancServer archive;
        std::string error;
        ASSERT_TRUE(archive.Start(COrthancServer::StandardSeries(), error)) << error;
        CPacsCache cache(m_folder.Path() / step, CPacsCache::kDefaultLimitBytes);
        CDimseClient::Retrieval retrieval = SeriesRetrieval(kRoot + "2.1", method);
        retrieval.movePort = archive.MovePort();
        std::string message;
        try {
            CPacsRetriever::Fetch(archive.Server(), m_settings, cache, retrieval, [&](int, int) {
                archive.Kill();
                return true;
            });
        } catch (const std::exception& e) {
            message = e.what();
        }
        for (const std::string& part : {archive.Server().Text(), std::string(step), std::string("broke off")})
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_TRUE(Partial(cache).empty()) << step;
        EXPECT_FALSE(fs::exists(cache.Root() / (kRoot + "2"))) << step;
    }
}

TEST_F(PacsFixture, ACancelledRetrieveLeavesNothing) {
    CPacsCache cache(m_folder.Path() / "cache", CPacsCache::kDefaultLimitBytes);
    for (const EMethod method : {EMethod::kGet, EMethod::kMove}) {
        int calls = 0;
        std::string message;
        try {
            CPacsRetriever::Fetch(Server(), m_settings, cache, SeriesRetrieval(kRoot + "2.1", method),
                                  [&](int, int) { return ++calls < 2; });
        } catch (const std::exception& e) {
            message = e.what();
        }
        EXPECT_NE(message.find("cancelled"), std::string::npos) << message;
        EXPECT_TRUE(Partial(cache).empty());
        EXPECT_FALSE(fs::exists(cache.Root() / (kRoot + "2")));
        // The archive still answers after the cancel.
        EXPECT_NO_THROW(Client().Echo(Server(), m_settings));
    }
}

}  // namespace
