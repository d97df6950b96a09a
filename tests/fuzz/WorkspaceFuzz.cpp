// The input is a measurement file (--measure) and a workspace file at once:
// both are JSON a user writes by hand or a script makes for a cohort. What
// is accepted must lie inside the volume and read back to itself once
// written; what is refused gives one line and keeps what was there.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "LabelImage.h"
#include "MeasurementLayer.h"
#include "Workspace.h"

namespace {

constexpr int kSize[3] = {24, 16, 6};

// The volume every input is placed on: oblique, anisotropic, with labels 1
// and 2 in a block, made once.
const CMeasurementLayer::CVolumeContext& Volume() {
    static CLabelImage labels;
    static const CMeasurementLayer::CVolumeContext context = [] {
        std::vector<uint8_t> values(static_cast<size_t>(kSize[0] * kSize[1] * kSize[2]), 0);
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint8_t>((i / 7) % 3);
        std::string error;
        if (!labels.Assign(values.data(), kSize[0], kSize[1], kSize[2], 1, error)) std::abort();
        CMeasurementLayer::CVolumeContext volume;
        volume.size = {kSize[0], kSize[1], kSize[2]};
        volume.metric.pixelSize = {1.5, 1.5, 6};
        volume.metric.toPatient = CAffine(
            CAffine::Matrix{{{0, 1.5, 0, -10}, {-1.2, 0, 0.9 * 4, 20}, {0.9, 0, 1.2 * 4, 5}, {0, 0, 0, 1}}});
        volume.labels = &labels;
        return volume;
    }();
    return context;
}

void CheckError(const std::string& error) {
    FuzzCheck(!error.empty(), "a refusal without a reason");
    FuzzCheck(error.find('\n') == std::string::npos, "a refusal of more than one line");
}

void CheckMeasurements(const std::string& text) {
    const CMeasurementLayer::CVolumeContext& volume = Volume();
    CMeasurementLayer layer;
    std::string error;
    if (!layer.LoadText(text, "input", volume, error)) {
        CheckError(error);
        FuzzCheck(layer.Empty(), "a refused file left measurements");
        return;
    }
    for (const CMeasurement& m : layer.Items()) {
        for (const auto& [frame, points] : m.FramePoints())
            for (const CMeasurement::Point& p : points)
                for (int a = 0; a < 3; ++a)
                    FuzzCheck(
                        p[static_cast<size_t>(a)] >= -0.5 && p[static_cast<size_t>(a)] <= kSize[a] - 0.5,
                        "a point outside the volume accepted");
        (void)m.ValuesPerFrame(3, volume.labels, volume.metric);
    }
    // Written out, the measurements read back to the same file.
    const std::string written = layer.ToJson();
    CMeasurementLayer again;
    FuzzCheck(again.LoadText(std::string(R"({"measurements": )") + written + "}", "again", volume, error),
              "written measurements are refused");
    FuzzCheck(again.ToJson() == written, "measurements do not read back to themselves");
}

void CheckWorkspace(const std::string& text) {
    CWorkspace workspace;
    std::string error;
    if (!CWorkspace::Parse(text, "input.orvanta", "folder", workspace, error)) {
        CheckError(error);
        return;
    }
    const std::string written = workspace.ToJson("folder/input.orvanta");
    CWorkspace again;
    FuzzCheck(CWorkspace::Parse(written, "again.orvanta", "folder", again, error),
              "a written workspace is refused");
    FuzzCheck(again.ToJson("folder/input.orvanta") == written, "a workspace does not read back to itself");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckMeasurements(text);
    CheckWorkspace(text);
    return 0;
}
