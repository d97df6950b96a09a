#pragma once

#include <cstdint>

// How the motion between two images is measured.
enum class EFlowMethod {
    kFarneback,  // polynomial expansion (Farneback), Gaussian window: the default
    kDisMedium,  // dense inverse search, medium preset: faster, misses much of a contraction
    kDisFine,    // the same down to single pixels, refined longer: slowest
};

// Dense optical flow between two 8-bit images. This is OpenCV's work; OpenCV
// lives in the orvanta-flow module, which the first propagation of labels
// brings in, so that starting the program never loads it.
class COpticalFlow {
public:
    // The module's flow, loading it on first use. Throws std::runtime_error
    // when it cannot be loaded.
    static const COpticalFlow& Get();

    // The smallest width and height an image may have.
    static constexpr int kMinSize = 16;

    // Fills `flow` (2 floats a pixel, dx then dy, rows of `width` pixels) so
    // that pixel q of `from` shows what `to` shows at q + flow(q). Both
    // images are `width` x `height` (at least kMinSize each), rows packed.
    // Safe to call from several threads at once. Throws std::runtime_error
    // when the library fails.
    virtual void Measure(const uint8_t* from, const uint8_t* to, int width, int height, EFlowMethod method,
                         float* flow) const = 0;

protected:
    ~COpticalFlow() = default;
};
