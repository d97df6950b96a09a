#include "OrthancServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "DicomWriter.h"

namespace {

int LoopbackSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// One HTTP/1.0 exchange with the archive's REST API; the answer's status
// code, or -1 when the connection fails.
int HttpRequest(int port, const std::string& method, const std::string& path, const std::string& body) {
    const int fd = LoopbackSocket();
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const std::string request = method + " " + path +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/dicom\r\n" +
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    close(fd);
    int status = -1;
    if (std::sscanf(answer.c_str(), "HTTP/%*s %d", &status) != 1) return -1;
    return status;
}

bool Accepts(int port) {
    const int fd = LoopbackSocket();
    const sockaddr_in address = Loopback(port);
    const bool open = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return open;
}

std::string DicomWebPlugin() {
    for (const char* path :
         {"/usr/share/orthanc/plugins/libOrthancDicomWeb.so", "/usr/lib/orthanc/libOrthancDicomWeb.so"})
        if (std::filesystem::exists(path)) return path;
    return "";
}

}  // namespace

COrthancServer::COrthancServer() = default;

COrthancServer::~COrthancServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        // A clean stop takes a moment; one that hangs is ended.
        for (int i = 0; i < 200; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (m_pid > 0) Kill();
    }
}

void COrthancServer::Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::vector<int> COrthancServer::FreePorts(int count) {
    // All held open together, so the system gives each a different port.
    std::vector<int> sockets, ports;
    for (int i = 0; i < count; ++i) {
        const int fd = LoopbackSocket();
        sockaddr_in address = Loopback(0);
        socklen_t size = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        sockets.push_back(fd);
        ports.push_back(ntohs(address.sin_port));
    }
    for (const int fd : sockets) close(fd);
    return ports;
}

CPacsServer COrthancServer::Server() const {
    return CPacsServer{kAet, "127.0.0.1", m_dicomPort};
}

bool COrthancServer::Start(const std::vector<COrthancSeries>& series, std::string& error) {
    const std::string plugin = DicomWebPlugin();
    if (plugin.empty()) {
        error = "the DICOMweb plugin of Orthanc is not installed (scripts/setup-deps.sh installs it)";
        return false;
    }
    m_folder = std::make_unique<TempFolder>();
    const std::vector<int> ports = FreePorts(3);
    m_httpPort = ports[0];
    m_dicomPort = ports[1];
    m_movePort = ports[2];
    const std::string storage = m_folder->File("storage");
    // Orthanc listens on the loopback only through LoopbackBind.c; besides,
    // HTTP answers the loopback only (RemoteAccessAllowed) and DICOM only
    // our AE title from the loopback (every "always allow" off, the
    // modality's host checked).
    std::ofstream config(m_folder->File("orthanc.json"));
    config << "{\n"
           << "  \"Name\": \"OrvantaTests\",\n"
           << "  \"StorageDirectory\": \"" << storage << "\",\n"
           << "  \"IndexDirectory\": \"" << storage << "\",\n"
           << "  \"HttpPort\": " << m_httpPort << ",\n"
           << "  \"RemoteAccessAllowed\": false,\n"
           << "  \"AuthenticationEnabled\": false,\n"
           << "  \"DicomAet\": \"" << kAet << "\",\n"
           << "  \"DicomPort\": " << m_dicomPort << ",\n"
           << "  \"DicomCheckCalledAet\": true,\n"
           << "  \"DicomCheckModalityHost\": true,\n"
           << "  \"DicomAlwaysAllowEcho\": false,\n"
           << "  \"DicomAlwaysAllowStore\": false,\n"
           << "  \"DicomAlwaysAllowFind\": false,\n"
           << "  \"DicomAlwaysAllowGet\": false,\n"
           << "  \"DicomAlwaysAllowMove\": false,\n"
           << "  \"DicomAssociationCloseDelay\": 0,\n"
           << "  \"DicomModalities\": { \"orvanta\": { \"AET\": \"" << kOurAet
           << "\", \"Host\": \"127.0.0.1\", \"Port\": " << m_movePort
           << ", \"AllowEcho\": true, \"AllowFind\": true, \"AllowGet\": true, \"AllowMove\": true, "
              "\"AllowStore\": true } },\n"
           << "  \"Plugins\": [ \"" << plugin << "\" ],\n"
           << "  \"DicomWeb\": { \"Enable\": true, \"Root\": \"/dicom-web/\" },\n"
           << "  \"SaveJobs\": false\n"
           << "}\n";
    config.close();
    if (!config) {
        error = "the Orthanc configuration cannot be written";
        return false;
    }
    const std::string log = m_folder->File("orthanc.log");
    m_pid = fork();
    if (m_pid == 0) {
        // The archive goes with the test that started it, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        const std::string path = m_folder->File("orthanc.json");
        setenv("LD_PRELOAD", ORVANTA_LOOPBACK_BIND, 1);
        execlp("Orthanc", "Orthanc", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0) {
        error = std::string("Orthanc cannot be started: ") + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(HttpRequest(m_httpPort, "GET", "/system", "") == 200 && Accepts(m_dicomPort))) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::ifstream text(log);
            const std::string why((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
            error =
                WIFEXITED(status) && WEXITSTATUS(status) == 127
                    ? "Orthanc is not installed (scripts/setup-deps.sh installs it)"
                    : "Orthanc stopped at start: " + why.substr(why.size() > 2000 ? why.size() - 2000 : 0);
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error = "Orthanc did not answer within 30 s";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The DICOMweb tests need the plugin answering, not only installed.
    if (const int status = HttpRequest(m_httpPort, "GET", "/dicom-web/studies", ""); status != 200) {
        error = "Orthanc's DICOMweb plugin does not answer (HTTP " + std::to_string(status) + ")";
        return false;
    }
    for (const COrthancSeries& one : series)
        if (!Upload(one, error)) return false;
    return true;
}

bool COrthancServer::Upload(const COrthancSeries& series, std::string& error) {
    DicomImageFields fields;
    fields.rows = series.rows;
    fields.columns = series.columns;
    fields.studyUid = series.studyUid;
    fields.seriesUid = series.seriesUid;
    fields.seriesNumber = series.seriesNumber;
    fields.seriesDescription = series.description;
    fields.modality = series.modality;
    fields.patientName = series.patientName;
    fields.patientId = series.patientId;
    fields.studyDate = series.studyDate;
    fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    fields.pixelSpacing = std::array<double, 2>{1, 1};
    fields.sliceThickness = 2;
    const std::string file = m_folder->File("upload.dcm");
    for (int image = 0; image < series.images; ++image) {
        fields.instanceNumber = image + 1;
        fields.position = std::array<double, 3>{0, 0, 2.0 * image};
        fields.values.assign(static_cast<size_t>(series.rows * series.columns), 0);
        for (size_t i = 0; i < fields.values.size(); ++i)
            fields.values[i] = double((i * 7 + image * 13) % 1000);
        if (!WriteDicomImage(file, fields)) {
            error = "a test image cannot be written";
            return false;
        }
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const int status = HttpRequest(m_httpPort, "POST", "/instances", bytes);
        if (status != 200) {
            error = "Orthanc refused a test image (HTTP " + std::to_string(status) + ")";
            return false;
        }
    }
    return true;
}

std::vector<COrthancSeries> COrthancServer::StandardSeries() {
    const std::string root = "1.2.826.0.1.3680043.2.1125.7.";
    COrthancSeries cine{"DOE^JANE", "P001", "20240115", root + "1", root + "1.1", "cine SA", "MR", 1, 3};
    COrthancSeries ct{"DOE^JANE", "P001", "20240115", root + "1", root + "1.2", "chest", "CT", 2, 2};
    COrthancSeries stack{"ROE^RICHARD", "P002", "20250310", root + "2", root + "2.1", "stack", "MR", 1, 20};
    return {cine, ct, stack};
}
