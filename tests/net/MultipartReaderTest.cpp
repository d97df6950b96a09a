#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MultipartReader.h"

namespace {

// Keeps every part in memory, with its headers, for the checks.
struct CPartRecorder : CMultipartSink {
    struct Part {
        CMultipartHeaders headers;
        std::string body;
        bool ended = false;
    };
    std::vector<Part> parts;

    std::string BeginPart(const CMultipartHeaders& headers) override {
        parts.push_back({headers, {}, false});
        return {};
    }
    std::string PartData(std::string_view bytes) override {
        parts.back().body.append(bytes);
        return {};
    }
    std::string EndPart() override {
        parts.back().ended = true;
        return {};
    }
};

// Feeds `stream` in pieces of `piece` bytes; the reader's error, or "" when it read the whole stream.
std::string Read(const std::string& stream, size_t piece, CPartRecorder& recorder) {
    CMultipartReader reader("xyz", recorder);
    for (size_t at = 0; at < stream.size(); at += piece)
        if (!reader.Feed(std::string_view(stream).substr(at, piece))) return reader.Error();
    return reader.Finish() ? std::string() : reader.Error();
}

TEST(MultipartReaderTest, BoundaryComesFromTheContentType) {
    struct Case {
        std::string contentType;
        std::string boundary;  // empty: refused
        std::string error;
    };
    const std::vector<Case> cases = {
        {"multipart/related; type=\"application/dicom\"; boundary=abc-123", "abc-123", ""},
        {"Multipart/Related;BOUNDARY=\"a b;c\";type=application/dicom", "a b;c", ""},
        {"multipart/related; boundary=\"q\\\"x\"", "q\"x", ""},
        {"multipart/related; type=\"application/dicom\"", "", "names no boundary"},
        {"multipart/related; boundary=", "", "names no boundary"},
        {"multipart/related; boundary=\"open", "", "no closing quote"},
        {std::string("multipart/related; boundary=") + std::string(71, 'a'), "", "longer than 70"},
        {"multipart/related; boundary=\"ab \"", "", "may not"},
        {"multipart/related; boundary=\"a\tb\"", "", "may not"},
        {"application/dicom+json", "", "application/dicom+json, not multipart"},
        {"", "", "no Content-Type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType);
        std::string boundary, error;
        EXPECT_EQ(CMultipartReader::BoundaryOf(c.contentType, boundary, error), !c.boundary.empty());
        EXPECT_EQ(boundary, c.boundary);
        if (!c.error.empty()) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST(MultipartReaderTest, PartsAreTheSameWhateverPiecesTheStreamComesIn) {
    // A preamble, a part with a folded header, a part without headers whose
    // body holds near-boundaries, padding after a boundary, an epilogue.
    const std::string stream =
        "preamble --xyz not at a line start\r\n--xyz\r\n"
        "Content-Type: application/dicom\r\nX-Long: one\r\n  two\r\n\r\n"
        "first\r\n--xy\r\n-xyz body\r\n"
        "--xyz \t\r\n\r\n\r\n-- xyz no: --xy\r\n"
        "--xyz--\r\nepilogue --xyz\r\n";
    for (size_t piece = 1; piece <= stream.size(); ++piece) {
        SCOPED_TRACE(piece);
        CPartRecorder recorder;
        ASSERT_EQ(Read(stream, piece, recorder), "");
        ASSERT_EQ(recorder.parts.size(), 2u);
        const CMultipartHeaders headers = {{"content-type", "application/dicom"}, {"x-long", "one two"}};
        EXPECT_EQ(recorder.parts[0].headers, headers);
        EXPECT_EQ(recorder.parts[0].body, "first\r\n--xy\r\n-xyz body");
        EXPECT_TRUE(recorder.parts[1].headers.empty());
        EXPECT_EQ(recorder.parts[1].body, "\r\n-- xyz no: --xy");
        EXPECT_TRUE(recorder.parts[0].ended && recorder.parts[1].ended);
    }
    // The opening boundary may be the stream's first bytes.
    CPartRecorder recorder;
    EXPECT_EQ(Read("--xyz\r\n\r\nonly\r\n--xyz--", 4, recorder), "");
    ASSERT_EQ(recorder.parts.size(), 1u);
    EXPECT_EQ(recorder.parts[0].body, "only");
}

TEST(MultipartReaderTest, BrokenStreamsFailWithTheirReason) {
    struct Case {
        std::string stream;
        std::string error;
        size_t endedParts;
    };
    const std::string part = "--xyz\r\nContent-Type: application/dicom\r\n\r\nbody";
    const std::vector<Case> cases = {
        {"", "does not open with its multipart boundary", 0},
        {"--other\r\n\r\nbody\r\n--other--", "does not open with its multipart boundary", 0},
        {part, "part 1 is cut short after 4 bytes", 0},
        {part + "\r\n--xy", "part 1 is cut short after 10 bytes", 0},
        {part + "\r\n", "part 1 is cut short after 6 bytes", 0},
        {part + "\r\n--xyz\r\n", "part 2 is cut short in its headers", 1},
        {part + "\r\n--xyz\r\nContent-Type: a\r\n", "part 2 is cut short in its headers", 1},
        {part + "\r\n--xyz", "ends after part 1 without its closing boundary", 1},
        {part + "\r\n--xyzX\r\n", "goes on after the boundary", 1},
        {"--xyz\r\nno colon here\r\n\r\nbody\r\n--xyz--", "part 1 has a header line without a name", 0},
        {"--xyz\r\n folded\r\n\r\nbody\r\n--xyz--", "opens with a folded header line", 0},
        {std::string("--xyz\r\n") + std::string(CMultipartReader::kMaxHeaderBytes + 10, 'h'),
         "headers are over 64 KiB", 0},
        {std::string("--xyz") + std::string(2000, ' '), "runs on without a line end", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream.substr(0, 80));
        for (size_t piece : {size_t{1}, size_t{7}, c.stream.size() + 1}) {
            CPartRecorder recorder;
            const std::string error = Read(c.stream, piece, recorder);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos);
            size_t ended = 0;
            for (const auto& p : recorder.parts) ended += p.ended;
            EXPECT_EQ(ended, c.endedParts);
        }
    }
}

}  // namespace
