#pragma once

#include <QTcpServer>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// An HTTP server on 127.0.0.1 (a free port) that gives canned answers, for
// the DICOMweb client's tests. It runs in the test's own thread: the client's
// event loop, which waits for the answer, also serves the requests.
class CFakeHttpServer {
public:
    // With `tls`, it speaks HTTPS with the certificate of tests/net/data,
    // which the test authority there signed for 127.0.0.1.
    explicit CFakeHttpServer(bool tls = false);

    // Answers every request whose path starts with `pathPrefix` (the first
    // route that matches wins) with `response`, bytes as they are, then
    // closes the connection. An empty response answers nothing and keeps the
    // connection open: a server that never answers.
    void Route(const std::string& pathPrefix, std::string response);

    // "http(s)://127.0.0.1:PORT/dicom-web".
    std::string BaseUrl() const;
    // The request heads received: request line and headers.
    const std::vector<std::string>& Requests() const { return m_requests; }

    // A whole response: status line, Content-Type (when not empty),
    // Content-Length (unless `length` < 0; then the close ends the body) and body.
    static std::string Response(int status, const std::string& reason, const std::string& contentType,
                                const std::string& body, long long length = -2);
    // A 200 multipart/related answer of `parts` (each application/dicom),
    // delimited by `boundary`, with `contentType` as its Content-Type when
    // given (else the right one).
    // The bytes of a small DICOM image the DICOM library wrote, told apart by `instance`.
    static std::string DicomObject(int instance);
    static std::string Multipart(const std::vector<std::string>& parts,
                                 const std::string& boundary = "b0undary",
                                 const std::string& contentType = "");

private:
    std::unique_ptr<QTcpServer> m_server;
    bool m_tls;
    std::vector<std::pair<std::string, std::string>> m_routes;
    std::vector<std::string> m_requests;
};
