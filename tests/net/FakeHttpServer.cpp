#include "FakeHttpServer.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <memory>
#include <stdexcept>

#include "TempFolder.h"
#include "TestData.h"

namespace {

QByteArray DataFile(const char* name) {
    QFile file(QString(ORVANTA_NET_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("cannot read test data ") + name);
    return file.readAll();
}

}  // namespace

CFakeHttpServer::CFakeHttpServer(bool tls) : m_tls(tls) {
    if (tls) {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(DataFile("server.pem")));
        configuration.setPrivateKey(QSslKey(DataFile("server.key"), QSsl::Rsa));
        server->setSslConfiguration(configuration);
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the fake server cannot listen");
    QTcpServer* listener = m_server.get();
    QObject::connect(listener, &QTcpServer::pendingConnectionAvailable, listener, [this, listener] {
        while (QTcpSocket* socket = listener->nextPendingConnection()) {
            auto head = std::make_shared<std::string>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head] {
                const bool complete = head->find("\r\n\r\n") != std::string::npos;
                head->append(socket->readAll().toStdString());
                const size_t end = head->find("\r\n\r\n");
                if (complete || end == std::string::npos) return;
                m_requests.push_back(head->substr(0, end));
                const size_t pathStart = head->find(' ') + 1;
                const std::string path =
                    head->substr(pathStart, head->find_first_of("? ", pathStart) - pathStart);
                for (const auto& [prefix, response] : m_routes) {
                    if (path.rfind(prefix, 0) != 0) continue;
                    if (response.empty()) return;
                    socket->write(response.data(), static_cast<qint64>(response.size()));
                    socket->disconnectFromHost();
                    return;
                }
                const std::string missing = Response(404, "Not Found", "text/plain", "no route");
                socket->write(missing.data(), static_cast<qint64>(missing.size()));
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void CFakeHttpServer::Route(const std::string& pathPrefix, std::string response) {
    m_routes.emplace_back(pathPrefix, std::move(response));
}

std::string CFakeHttpServer::BaseUrl() const {
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_server->serverPort()) +
           "/dicom-web";
}

std::string CFakeHttpServer::Response(int status, const std::string& reason, const std::string& contentType,
                                      const std::string& body, long long length) {
    std::string text = std::string("HTTP/1.1 ") + std::to_string(status) + " " + reason + "\r\n";
    if (!contentType.empty()) text += std::string("Content-Type: ") + contentType + "\r\n";
    if (length == -2) length = static_cast<long long>(body.size());
    if (length >= 0) text += std::string("Content-Length: ") + std::to_string(length) + "\r\n";
    text += "Connection: close\r\n\r\n";
    return text + body;
}

std::string CFakeHttpServer::Multipart(const std::vector<std::string>& parts, const std::string& boundary,
                                       const std::string& contentType) {
    std::string body;
    for (const std::string& part : parts)
        body += std::string("--") + boundary + "\r\nContent-Type: application/dicom\r\n\r\n" + part + "\r\n";
    body += std::string("--") + boundary + "--\r\n";
    const std::string type =
        contentType.empty()
            ? std::string("multipart/related; type=\"application/dicom\"; boundary=") + boundary
            : contentType;
    return Response(200, "OK", type, body);
}

std::string CFakeHttpServer::DicomObject(int instance) {
    TempFolder folder;
    DicomImageFields fields;
    fields.values.assign(20, instance);
    fields.instanceNumber = instance;
    if (!WriteDicomImage(folder.File("i.dcm"), fields))
        throw std::runtime_error("cannot write a DICOM image");
    const std::vector<uint8_t> bytes = ReadBytes(folder.File("i.dcm"));
    return std::string(bytes.begin(), bytes.end());
}
