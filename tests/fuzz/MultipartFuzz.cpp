// Reads the input as a DICOMweb retrieve answer: its first line is the
// Content-Type, the rest the body. The body is read twice, whole and in small
// pieces (a size the input picks), as the network might deliver it; both
// readings must agree on every part and on the error, so no part depends on
// where a piece ended. A part read must hold no boundary, and the DICOM check
// must pass only a part that opens as a DICOM file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DicomPartCheck.h"
#include "FuzzInput.h"
#include "MultipartReader.h"

namespace {

struct CRecorder : CMultipartSink {
    std::vector<CMultipartHeaders> headers;
    std::vector<std::string> bodies;
    int ended = 0;

    std::string BeginPart(const CMultipartHeaders& partHeaders) override {
        headers.push_back(partHeaders);
        bodies.emplace_back();
        return {};
    }
    std::string PartData(std::string_view bytes) override {
        bodies.back().append(bytes);
        return {};
    }
    std::string EndPart() override {
        ++ended;
        // Each part's check, as the retrieve makes it.
        const std::string& body = bodies.back();
        const std::string problem = DicomPartProblem(body, static_cast<int64_t>(body.size()));
        FuzzCheck(!problem.empty() || (body.size() > 132 && body.compare(128, 4, "DICM") == 0),
                  "the DICOM check passes a part without DICM after its preamble");
        FuzzCheck(problem.find('\n') == std::string::npos, "a problem takes more than one line");
        return {};
    }
};

bool Read(const std::string& boundary, const std::string& body, size_t piece, CRecorder& recorder,
          std::string& error) {
    CMultipartReader reader(boundary, recorder);
    bool ok = true;
    for (size_t at = 0; at < body.size() && ok; at += piece)
        ok = reader.Feed(std::string_view(body).substr(at, piece));
    ok = ok && reader.Finish();
    error = reader.Error();
    FuzzCheck(ok == error.empty(), "a failed reading says why, a good one has no error");
    FuzzCheck(error.find('\n') == std::string::npos, "an error takes more than one line");
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> pieces = SplitInput(data, size, "\n", 2);
    const std::string contentType = pieces.empty() ? std::string() : pieces[0];
    const std::string body = pieces.size() > 1 ? pieces[1] : std::string();

    std::string boundary, error;
    if (!CMultipartReader::BoundaryOf(contentType, boundary, error)) {
        FuzzCheck(!error.empty() && boundary.empty(), "a refused Content-Type says why");
        return 0;
    }
    FuzzCheck(!boundary.empty() && boundary.size() <= 70, "a boundary of 1 to 70 characters");

    CRecorder whole, split;
    std::string wholeError, splitError;
    const bool wholeOk = Read(boundary, body, body.size() + 1, whole, wholeError);
    const size_t piece = 1 + contentType.size() % 7;
    const bool splitOk = Read(boundary, body, piece, split, splitError);
    FuzzCheck(wholeOk == splitOk && wholeError == splitError, "the pieces change the outcome");
    FuzzCheck(whole.headers == split.headers && whole.bodies == split.bodies && whole.ended == split.ended,
              "the pieces change the parts");
    const std::string delimiter = std::string("\r\n--") + boundary;
    for (const std::string& part : whole.bodies)
        FuzzCheck(part.find(delimiter) == std::string::npos, "a part holds a boundary line");
    if (wholeOk)
        FuzzCheck(whole.ended == static_cast<int>(whole.bodies.size()), "a read stream ends every part");
    return 0;
}
