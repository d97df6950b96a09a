#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A part's headers, names in lower case, in the order they came.
using CMultipartHeaders = std::vector<std::pair<std::string, std::string>>;

// Where the reader hands each part as it arrives. Each call returns an empty
// string to go on, or the reason (one line) to stop the whole stream.
class CMultipartSink {
public:
    virtual ~CMultipartSink() = default;
    virtual std::string BeginPart(const CMultipartHeaders& headers) = 0;
    virtual std::string PartData(std::string_view bytes) = 0;
    virtual std::string EndPart() = 0;
};

// Reads a multipart/related body as it comes off the network, handing each
// part's bytes to a sink at once, so that a series of hundreds of megabytes
// is never held in memory: the reader keeps only what might still be the
// start of a boundary line. Strict: a stream that does not open with the
// boundary, a part cut short or a missing closing boundary is an error, never
// a shorter series.
class CMultipartReader {
public:
    // The longest header block of one part accepted; DICOM parts carry a few
    // lines, so more is a broken stream rather than headers.
    static constexpr size_t kMaxHeaderBytes = 64 * 1024;

    // The boundary named by a Content-Type value such as
    // `multipart/related; type="application/dicom"; boundary=XYZ` (quoted or
    // not). False with `error` (one line) when the type is not multipart or
    // the boundary is missing, empty, longer than 70 characters or holds a
    // character a boundary may not.
    static bool BoundaryOf(const std::string& contentType, std::string& boundary, std::string& error);

    // Text a server sent, fit for a one-line message: control and non-ASCII
    // bytes become '?', and it is cut at 60 characters.
    static std::string Shown(std::string_view text);

    CMultipartReader(std::string boundary, CMultipartSink& sink);

    // Takes the next bytes of the body. False once the stream is in error
    // (`Error()` says why); later calls do nothing.
    bool Feed(std::string_view bytes);
    // The body has ended: false unless the closing boundary has come.
    bool Finish();

    const std::string& Error() const { return m_error; }
    // Parts begun so far, the one being read included.
    int PartCount() const { return m_parts; }

private:
    enum class EState { kPreamble, kDelimiterEnd, kHeaders, kBody, kEpilogue, kFailed };

    bool Fail(std::string error);
    // One step on the pending bytes; false when it needs more of them.
    bool Step();
    bool ParseHeaders(std::string_view block);

    std::string m_delimiter;  // CRLF "--" boundary
    CMultipartSink& m_sink;
    std::string m_pending;
    EState m_state = EState::kPreamble;
    std::string m_error;
    int m_parts = 0;
    int64_t m_bodyBytes = 0;  // of the part being read
};
