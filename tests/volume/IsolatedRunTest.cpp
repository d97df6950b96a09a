#include <gtest/gtest.h>
#include <sys/mman.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "IsolatedRun.h"

// Present only in sanitizer builds, as in IsolatedRun.cpp.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)(void));

namespace {

// Memory both processes see: set when one of the parent's handlers runs.
volatile int* g_parentHandlerRan = nullptr;

void ParentHandler(int) {
    *g_parentHandlerRan = 1;
    _exit(7);
}

void ParentDeathCallback() {
    *g_parentHandlerRan = 1;
}

struct Outcome {
    std::vector<std::string> answers;  // "item:answer"
    std::vector<int64_t> failed;
};

Outcome RunItems(int64_t count, const std::function<std::string(int64_t)>& work,
                 const CIsolatedRun::Options& options) {
    Outcome outcome;
    std::string error;
    EXPECT_TRUE(CIsolatedRun::Run(
        0, count, 1, work,
        [&](int64_t item, const std::string& answer) {
            outcome.answers.push_back(std::to_string(item) + ":" + answer);
        },
        [&](int64_t item) { outcome.failed.push_back(item); }, error, options))
        << error;
    return outcome;
}

}  // namespace

TEST(IsolatedRun, AChildDiesOfItsOwnFaultsAndTheNextCarriesOn) {
    // The parent stands ready to handle its own crashes, as a crash reporter
    // or a fuzzer does; none of that may run in a child.
    void* shared = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    g_parentHandlerRan = static_cast<int*>(shared);
    const int signals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
    struct sigaction handler = {}, saved[std::size(signals)];
    handler.sa_handler = ParentHandler;
    for (size_t i = 0; i < std::size(signals); ++i) sigaction(signals[i], &handler, &saved[i]);
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(ParentDeathCallback);

    // An allocation the kernel would hand out and let be touched, were the
    // child's address space not capped.
    const auto allocate = [](int64_t bytes) {
        return [bytes] {
            volatile char* block = new char[static_cast<size_t>(bytes)];
            block[0] = 1;
        };
    };
    constexpr int64_t kMiB = int64_t{1} << 20;
    struct Case {
        const char* name;
        std::function<void()> fault;
        int64_t childMemory;
        bool fails;
    };
    const Case cases[] = {
        {"segmentation fault", [] { std::raise(SIGSEGV); }, CIsolatedRun::kChildMemory, true},
        {"abort", [] { std::abort(); }, CIsolatedRun::kChildMemory, true},
        {"bus error", [] { std::raise(SIGBUS); }, CIsolatedRun::kChildMemory, true},
        {"more than any child may take", allocate(CIsolatedRun::kChildMemory + 64 * kMiB),
         CIsolatedRun::kChildMemory + 512 * kMiB, true},
        {"more than this caller allows", allocate(256 * kMiB), 64 * kMiB, true},
        {"as much as this caller allows", allocate(256 * kMiB), 512 * kMiB, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *g_parentHandlerRan = 0;
        const Outcome outcome = RunItems(3,
                                         [&](int64_t item) {
                                             if (item == 1) c.fault();
                                             return std::string("done");
                                         },
                                         {.childMemory = c.childMemory});
        if (c.fails) {
            EXPECT_EQ(outcome.answers, (std::vector<std::string>{"0:done", "2:done"}));
            EXPECT_EQ(outcome.failed, std::vector<int64_t>{1});
        } else {
            EXPECT_EQ(outcome.answers, (std::vector<std::string>{"0:done", "1:done", "2:done"}));
            EXPECT_TRUE(outcome.failed.empty());
        }
        EXPECT_EQ(*g_parentHandlerRan, 0) << "the parent's handler ran in the child";
    }

    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(nullptr);
    for (size_t i = 0; i < std::size(signals); ++i) sigaction(signals[i], &saved[i], nullptr);
    munmap(shared, sizeof(int));
}

TEST(IsolatedRun, WorkRunHereAnswersAndFailsAsInAChild) {
    const auto work = [](int64_t item) -> std::string {
        if (item == 2) throw std::runtime_error("cannot");
        return std::string(static_cast<size_t>(item), 'x');
    };
    for (const bool inProcess : {false, true}) {
        SCOPED_TRACE(inProcess ? "in this process" : "in reader processes");
        const Outcome outcome = RunItems(4, work, {.inProcess = inProcess});
        EXPECT_EQ(outcome.answers, (std::vector<std::string>{"0:", "1:x", "3:xxx"}));
        EXPECT_EQ(outcome.failed, std::vector<int64_t>{2});
    }
}
