// OpenCV's side of COpticalFlow, built as the orvanta-flow module: only this
// file includes OpenCV.

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>
#include <stdexcept>
#include <string>

#include "OpticalFlow.h"

namespace {

class COpenCvOpticalFlow final : public COpticalFlow {
public:
    void Measure(const uint8_t* from, const uint8_t* to, int width, int height, EFlowMethod method,
                 float* flow) const override {
        if (width < kMinSize || height < kMinSize)
            throw std::runtime_error("an image of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " pixels is too small to measure motion in");
        // The Mats wrap the caller's buffers: nothing is copied in or out.
        const cv::Mat first(height, width, CV_8UC1, const_cast<uint8_t*>(from));
        const cv::Mat second(height, width, CV_8UC1, const_cast<uint8_t*>(to));
        cv::Mat out(height, width, CV_32FC2, flow);
        try {
            if (method == EFlowMethod::kFarneback) {
                // A Gaussian window of 11 pixels: a box window, or a wider
                // one, smears the motion of the heart wall into the still
                // tissue around it and undercounts the contraction.
                cv::calcOpticalFlowFarneback(first, second, out, 0.5, 4, 11, 3, 5, 1.1,
                                             cv::OPTFLOW_FARNEBACK_GAUSSIAN);
            } else {
                // The object keeps per-call state, so each call has its own.
                const cv::Ptr<cv::DISOpticalFlow> dis =
                    cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_MEDIUM);
                if (method == EFlowMethod::kDisFine) {
                    // The medium preset stops a scale above the pixels; this
                    // one goes down to them and refines longer.
                    dis->setFinestScale(0);
                    dis->setGradientDescentIterations(25);
                    dis->setVariationalRefinementIterations(10);
                }
                dis->calc(first, second, out);
            }
        } catch (const cv::Exception& e) {
            throw std::runtime_error(std::string("the optical flow failed: ") + e.what());
        }
        // Both write in place into a Mat of the right size and type; a
        // reallocation would mean the result is not in `flow`.
        if (out.data != reinterpret_cast<uint8_t*>(flow))
            throw std::runtime_error("the optical flow did not write its result in place");
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const COpticalFlow* OrvantaOpticalFlow() {
    static const COpenCvOpticalFlow flow;
    return &flow;
}
