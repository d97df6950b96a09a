#include "MeshReadProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "OwnFaults.h"

namespace {

enum : uint8_t { kObjects = 0, kError = 1 };

void Append(std::string& bytes, const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
}

void AppendCount(std::string& bytes, uint64_t count) {
    Append(bytes, &count, sizeof count);
}

std::string Serialize(const std::vector<CMeshObject>& objects) {
    std::string bytes(1, static_cast<char>(kObjects));
    AppendCount(bytes, objects.size());
    for (const CMeshObject& object : objects) {
        AppendCount(bytes, object.m_name.size());
        bytes += object.m_name;
        AppendCount(bytes, object.m_vertices.size());
        Append(bytes, object.m_vertices.data(), object.m_vertices.size() * sizeof(Vec3d));
        AppendCount(bytes, object.m_triangles.size());
        Append(bytes, object.m_triangles.data(), object.m_triangles.size() * sizeof(Triangle));
    }
    return bytes;
}

// Reads what Serialize wrote, checking every count against the bytes there
// are and every triangle against its object's vertices.
class CReader {
public:
    explicit CReader(const std::string& bytes) : m_bytes(bytes) {}

    std::vector<CMeshObject> Objects() {
        std::vector<CMeshObject> objects(Count(1));
        for (CMeshObject& object : objects) {
            object.m_name.resize(Count(1));
            Take(object.m_name.data(), object.m_name.size());
            object.m_vertices.resize(Count(sizeof(Vec3d)));
            Take(object.m_vertices.data(), object.m_vertices.size() * sizeof(Vec3d));
            object.m_triangles.resize(Count(sizeof(Triangle)));
            Take(object.m_triangles.data(), object.m_triangles.size() * sizeof(Triangle));
            for (const Triangle& t : object.m_triangles)
                for (int32_t v : t.v)
                    if (v < 0 || static_cast<size_t>(v) >= object.m_vertices.size())
                        throw std::runtime_error("its reader gave a triangle outside its object");
        }
        if (m_at != m_bytes.size()) throw std::runtime_error("its reader gave more than the meshes");
        return objects;
    }

    // A count of items of `itemSize` bytes that the rest can hold.
    size_t Count(size_t itemSize) {
        uint64_t count = 0;
        Take(&count, sizeof count);
        if (count > (m_bytes.size() - m_at) / itemSize)
            throw std::runtime_error("its reader's answer is cut short");
        return static_cast<size_t>(count);
    }

    void Take(void* data, size_t size) {
        if (size > m_bytes.size() - m_at) throw std::runtime_error("its reader's answer is cut short");
        if (size > 0) std::memcpy(data, m_bytes.data() + m_at, size);
        m_at += size;
    }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

[[noreturn]] void RunChild(int fd, const std::function<std::vector<CMeshObject>()>& read) {
    // A crash ends the child at once; the parent reports it. A reader may
    // grow by 2 GiB, room for meshes of tens of millions of triangles: more
    // than that, claimed by a damaged file, fails here, alone.
    DieOfOwnFaults(uint64_t{2} << 30);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    std::string answer;
    try {
        answer = Serialize(read());
    } catch (const std::bad_alloc&) {
        answer = std::string(1, static_cast<char>(kError)) + "it does not fit in memory";
    } catch (const std::exception& e) {
        answer = std::string(1, static_cast<char>(kError)) + e.what();
    } catch (...) {
        _exit(2);
    }
    // No exit handlers: they belong to the parent.
    _exit(WriteAll(fd, answer) ? 0 : 3);
}

}  // namespace

std::vector<CMeshObject> CMeshReadProcess::Run(const std::function<std::vector<CMeshObject>()>& read,
                                               int seconds) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot start a reader process: ") + std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error(std::string("cannot start a reader process: ") + std::strerror(error));
    }
    if (child == 0) {
        close(fds[0]);
        RunChild(fds[1], read);
    }
    close(fds[1]);

    std::string answer;
    bool late = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[1 << 16];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            late = true;
            break;
        }
        pollfd wait{fds[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            late = ready == 0;
            break;
        }
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        answer.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (late) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (late) throw std::runtime_error("its reader took more than " + std::to_string(seconds) + " s");
    if (!answer.empty() && answer[0] == static_cast<char>(kError)) throw std::runtime_error(answer.substr(1));
    if (answer.empty() || answer[0] != static_cast<char>(kObjects) || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        if (WIFSIGNALED(status))
            throw std::runtime_error("its reader crashed on it (signal " + std::to_string(WTERMSIG(status)) +
                                     ")");
        throw std::runtime_error("its reader stopped on it");
    }
    CReader reader(answer);
    uint8_t kind = 0;
    reader.Take(&kind, 1);
    return reader.Objects();
}
