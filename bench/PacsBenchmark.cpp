// Query and retrieve against a real archive, each set against DCMTK's own
// tool for the same exchange with the same Orthanc in the same run:
// retrieving a series of 20 images of 256 x 256 against getscu, and a
// series-level query against findscu. Each figure is the best of several.
//
// Ours run in-process, as the viewer runs them, and count everything the
// user waits for: for the retrieve, the query that finds the series' study
// and image count, the retrieve, and putting the folder in the cache. The
// tools' times count their process start as well, a few milliseconds.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "BenchClock.h"
#include "DimseClient.h"
#include "OrthancServer.h"
#include "PacsRetriever.h"
#include "ProgramRun.h"

namespace {

const std::string kStudy = "1.2.826.0.1.3680043.2.1125.8.1";
const std::string kSeries = "1.2.826.0.1.3680043.2.1125.8.1.1";
constexpr int kRuns = 7;

// The archive, started once for the whole run.
COrthancServer* Archive(benchmark::State& state) {
    static COrthancServer server;
    static std::string error;
    static const bool started = [] {
        COrthancSeries series{"BENCH^MARK", "B001", "20240601", kStudy, kSeries, "cine",
                              "MR",         1,      20,         256,    256};
        return server.Start({series}, error);
    }();
    if (!started) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    return &server;
}

// The DCMTK tool `name` with our AE title against the archive, then `keys`.
std::vector<std::string> Tool(const char* name, const CPacsServer& server, std::vector<std::string> options,
                              const std::vector<std::string>& keys) {
    std::vector<std::string> argv = {name, "-aet", COrthancServer::kOurAet, "-aec", server.aet, "-S"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(server.host);
    argv.push_back(std::to_string(server.port));
    for (const std::string& key : keys) {
        argv.push_back("-k");
        argv.push_back(key);
    }
    return argv;
}

// Times `ours` (false: it failed) against the tool's run, best of kRuns
// each, after one untimed run of ours (which loads the module and warms
// the archive), and gives the figures as counters.
void Race(benchmark::State& state, const std::function<bool()>& ours, const std::vector<std::string>& tool,
          const std::function<void()>& beforeTool) {
    if (std::system(("command -v " + tool[0] + " > /dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError(
            (tool[0] + " is not installed (Debian package dcmtk): no ratio measured").c_str());
        return;
    }
    if (!ours()) {
        state.SkipWithError("our exchange failed");
        return;
    }
    for (auto _ : state) {
        double best = 1e30, theirs = 1e30;
        bool ok = true;
        for (int run = 0; run < kRuns; ++run) {
            const Clock::time_point start = Clock::now();
            ok = ours() && ok;
            best = std::min(best, SecondsSince(start));
            beforeTool();
            const RunResult result = Run(tool);
            ok = ok && result.ok;
            theirs = std::min(theirs, result.seconds);
        }
        if (!ok) state.SkipWithError(("ours or " + tool[0] + " failed").c_str());
        state.SetIterationTime(best);
        state.counters["orvanta_s"] = best;
        state.counters[tool[0] + "_s"] = theirs;
        state.counters["ratio_to_" + tool[0]] = best / theirs;
        state.counters["target_ratio"] = 1.5;
    }
}

void BM_RetrieveSeriesAgainstGetscu(benchmark::State& state) {
    COrthancServer* archive = Archive(state);
    if (archive == nullptr) return;
    const CPacsServer server = archive->Server();
    CPacsCache cache(BenchFolder().Path() / "cache", CPacsCache::kDefaultLimitBytes);
    CDimseClient::Retrieval retrieval;
    retrieval.seriesUid = kSeries;
    const std::filesystem::path out = BenchFolder().Path() / "getscu";
    Race(
        state,
        [&] {
            try {
                CPacsRetriever::Fetch(server, CDimseClient::Settings(), cache, retrieval, {});
                return true;
            } catch (const std::exception&) {
                return false;
            }
        },
        Tool("getscu", server, {"-od", out.string()},
             {"QueryRetrieveLevel=SERIES", "StudyInstanceUID=" + kStudy, "SeriesInstanceUID=" + kSeries}),
        [&] {
            std::filesystem::remove_all(out);
            std::filesystem::create_directories(out);
        });
}
BENCHMARK(BM_RetrieveSeriesAgainstGetscu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SeriesQueryAgainstFindscu(benchmark::State& state) {
    COrthancServer* archive = Archive(state);
    if (archive == nullptr) return;
    const CPacsServer server = archive->Server();
    CDimseClient::Query query;
    query.studyUid = kStudy;
    Race(
        state,
        [&] {
            try {
                return CDimseClient::Get().FindSeries(server, CDimseClient::Settings(), query).size() == 1;
            } catch (const std::exception&) {
                return false;
            }
        },
        Tool("findscu", server, {},
             {"QueryRetrieveLevel=SERIES", "StudyInstanceUID=" + kStudy, "SeriesInstanceUID", "SeriesNumber",
              "SeriesDescription", "Modality", "NumberOfSeriesRelatedInstances"}),
        [] {});
}
BENCHMARK(BM_SeriesQueryAgainstFindscu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
