#include "IsolatedRun.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "OwnFaults.h"

namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        at += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Reads exactly `size` bytes; false at the end of the pipe or on an error.
bool ReadAll(int fd, void* data, size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = read(fd, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

[[noreturn]] void RunChild(int fd, int64_t first, int64_t end, const CIsolatedRun::Work& work,
                           int64_t memory) {
    DieOfOwnFaults(static_cast<uint64_t>(std::clamp<int64_t>(memory, 0, CIsolatedRun::kChildMemory)));
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    for (int64_t item = first; item < end; ++item) {
        std::string answer;
        try {
            answer = work(item);
        } catch (...) {
            _exit(2);
        }
        const uint64_t size = answer.size();
        if (!WriteAll(fd, &item, sizeof item) || !WriteAll(fd, &size, sizeof size) ||
            !WriteAll(fd, answer.data(), answer.size()))
            _exit(3);
    }
    // No exit handlers: they belong to the parent.
    _exit(0);
}

// One range of items and the child working through it.
struct Part {
    int64_t next = 0;
    int64_t end = 0;
    pid_t child = -1;
    int fd = -1;  // the read end of the child's pipe; -1 while no child runs
};

// Reads one answer of the child of `part` and hands it on; false when the child has stopped.
bool ReceiveOne(Part& part, const CIsolatedRun::Receive& receive) {
    int64_t item = 0;
    uint64_t size = 0;
    if (!ReadAll(part.fd, &item, sizeof item) || !ReadAll(part.fd, &size, sizeof size)) return false;
    std::string answer(size, '\0');
    if (!ReadAll(part.fd, answer.data(), answer.size())) return false;
    receive(item, answer);
    part.next = item + 1;
    return true;
}

void Reap(Part& part) {
    close(part.fd);
    part.fd = -1;
    int status = 0;
    while (waitpid(part.child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool CIsolatedRun::Run(int64_t first, int64_t end, int parts, const Work& work, const Receive& receive,
                       const Failed& failed, std::string& error, const Options& options) {
    if (options.inProcess) {
        for (int64_t item = first; item < end; ++item) {
            std::string answer;
            try {
                answer = work(item);
            } catch (...) {
                failed(item);
                continue;
            }
            receive(item, answer);
        }
        return true;
    }
    const int64_t count = std::max<int64_t>(end - first, 0);
    const int64_t partCount = std::clamp<int64_t>(parts, 1, std::max<int64_t>(count, 1));
    std::vector<Part> ranges(static_cast<size_t>(partCount));
    for (int64_t p = 0; p < partCount; ++p) {
        ranges[static_cast<size_t>(p)].next = first + count * p / partCount;
        ranges[static_cast<size_t>(p)].end = first + count * (p + 1) / partCount;
    }
    auto start = [&](Part& part) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        part.child = fork();
        if (part.child < 0) {
            const int why = errno;
            close(fds[0]);
            close(fds[1]);
            errno = why;
            return false;
        }
        if (part.child == 0) {
            // The other pipes are the parent's alone, so that a child's end is all that keeps its own open.
            for (const Part& other : ranges)
                if (other.fd >= 0) close(other.fd);
            close(fds[0]);
            RunChild(fds[1], part.next, part.end, work, options.childMemory);
        }
        close(fds[1]);
        part.fd = fds[0];
        return true;
    };

    bool running = true;
    for (Part& part : ranges)
        if (part.next < part.end && !(running = start(part))) break;
    std::vector<pollfd> waiting;
    std::vector<Part*> waitingParts;
    while (running) {
        waiting.clear();
        waitingParts.clear();
        for (Part& part : ranges)
            if (part.fd >= 0) {
                waiting.push_back({part.fd, POLLIN, 0});
                waitingParts.push_back(&part);
            }
        if (waiting.empty()) break;
        if (poll(waiting.data(), waiting.size(), -1) < 0) {
            running = errno == EINTR;
            continue;
        }
        for (size_t i = 0; i < waiting.size() && running; ++i) {
            Part& part = *waitingParts[i];
            if (waiting[i].revents == 0 || ReceiveOne(part, receive)) continue;
            Reap(part);
            // A child that stopped before the end died on the item after its last answer.
            if (part.next < part.end) failed(part.next++);
            if (part.next < part.end) running = start(part);
        }
    }
    if (running) return true;
    error = std::string("cannot start a reader process: ") + std::strerror(errno);
    // Children whose pipe is closed end at their next answer.
    for (Part& part : ranges)
        if (part.fd >= 0) Reap(part);
    return false;
}
