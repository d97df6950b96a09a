// Carrying labels drawn in one frame to every other frame of a 256 x 256 x
// 16 x 30 cine (the cardiac phantom of the tests, scaled up), with each way
// of measuring motion. seconds should stay under 30 on two cores. Baseline:
// the same number of flow measurements alone (flows_s); ratio_to_flows is
// what composing, warping and writing add. peak_extra_mib is the growth of
// resident memory during the propagation beyond the undo record
// (record_mib, which grows by doubling), and working_mib the growth of a
// second run over the result, which writes next to nothing: both against
// fields_mib, two frames' displacement fields of the whole volume (2 floats
// a voxel each); peak_without_record_mib the growth of a run that keeps no
// undo record, as headless runs do; min_dice is the worst Dice of the
// blood pool or muscle in any frame against the phantom's truth.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <string>

#include "BenchClock.h"
#include "CardiacPhantom.h"
#include "LabelImage.h"
#include "LabelPropagation.h"
#include "ProcessMemory.h"
#include "TimeVolume.h"

namespace {

CCardiacPhantomShape BenchShape() {
    CCardiacPhantomShape shape = CCardiacPhantomShape().ScaledInPlane(256.0 / 96.0);
    shape.sizeZ = 16;
    shape.frames = 30;
    shape.systolicFrame = 11.5;
    return shape;
}

double MinDice(const CLabelImage& found, const CLabelImage& truth) {
    double worst = 1.0;
    for (int t = 0; t < truth.Frames(); ++t)
        for (const int64_t value : {CCardiacPhantom::kBlood, CCardiacPhantom::kMuscle}) {
            const int a = found.IndexOf(value), b = truth.IndexOf(value);
            const uint8_t* fa = found.FrameVoxels(t);
            const uint8_t* fb = truth.FrameVoxels(t);
            int64_t both = 0;
            for (int64_t v = 0; v < truth.FrameVoxelCount(); ++v) both += fa[v] == a && fb[v] == b;
            worst = std::min(worst, 2.0 * static_cast<double>(both) /
                                        static_cast<double>(found.VoxelCount(t, a) + truth.VoxelCount(t, b)));
        }
    return worst;
}

// The seconds `flows` flow measurements take, timed on the first slice's frames.
double FlowSeconds(const CTimeVolume& volume, EFlowMethod method, int flows) {
    const COpticalFlow& flow = COpticalFlow::Get();
    const int w = volume.SizeX(), h = volume.SizeY();
    std::vector<float> field(static_cast<size_t>(w) * h * 2);
    const int sample = 2 * (volume.Frames() - 1);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < sample; ++i) {
        const CSliceImage a = volume.GetSlice(2, 0, i % volume.Frames(), false);
        const CSliceImage b = volume.GetSlice(2, 0, (i + 1) % volume.Frames(), false);
        flow.Measure(a.m_data, b.m_data, w, h, method, field.data());
    }
    return SecondsSince(start) * flows / sample;
}

void BM_Propagation(benchmark::State& state) {
    const auto method = static_cast<EFlowMethod>(state.range(0));
    const CCardiacPhantom phantom(BenchShape());
    CTimeVolume volume;
    std::string error;
    if (!phantom.Load(volume, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int frames = volume.Frames();
    const int flows = volume.SizeZ() * 2 * (frames - 1);
    const double flowSeconds = FlowSeconds(volume, method, flows);
    const CPropagationSettings settings{{0}, {}, method};
    double seconds = 0.0, extraMiB = 0.0, recordMiB = 0.0, workingMiB = 0.0, unrecordedMiB = 0.0, minDice = 0.0;
    for (auto _ : state) {
        CLabelImage labels = phantom.Labels({0});
        CLabelChange change;
        // Memory freed earlier goes back to the system, so that reusing it counts.
        malloc_trim(0);
        ResetPeakResident();
        const long before = StatusKiB("VmRSS");
        const Clock::time_point start = Clock::now();
        if (!PropagateLabels(volume, labels, settings, {}, change, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        seconds = SecondsSince(start);
        recordMiB = static_cast<double>(change.Bytes()) / (1 << 20);
        extraMiB = static_cast<double>(StatusKiB("VmHWM") - before) / 1024.0 - recordMiB;
        state.SetIterationTime(seconds);
        minDice = MinDice(labels, phantom.Labels());
        // Again over its own result, which it rewrites hardly at all: the
        // memory the work itself takes, without the undo record's growth.
        malloc_trim(0);
        ResetPeakResident();
        const long again = StatusKiB("VmRSS");
        if (!PropagateLabels(volume, labels, settings, {}, change, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        workingMiB = static_cast<double>(StatusKiB("VmHWM") - again) / 1024.0;
        // As headless runs carry labels: without an undo record.
        labels = phantom.Labels({0});
        CPropagationSettings unrecorded = settings;
        unrecorded.record = false;
        malloc_trim(0);
        ResetPeakResident();
        const long plain = StatusKiB("VmRSS");
        if (!PropagateLabels(volume, labels, unrecorded, {}, change, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        unrecordedMiB = static_cast<double>(StatusKiB("VmHWM") - plain) / 1024.0;
    }
    const double voxels = static_cast<double>(volume.SizeX()) * volume.SizeY() * volume.SizeZ();
    state.counters["seconds"] = seconds;
    state.counters["seconds_limit"] = 30;
    state.counters["s_per_frame"] = seconds / (frames - 1);
    state.counters["flows_s"] = flowSeconds;
    state.counters["ratio_to_flows"] = seconds / flowSeconds;
    state.counters["peak_extra_mib"] = extraMiB;
    state.counters["record_mib"] = recordMiB;
    state.counters["working_mib"] = workingMiB;
    state.counters["peak_without_record_mib"] = unrecordedMiB;
    state.counters["fields_mib"] = 2.0 * voxels * 2 * sizeof(float) / (1 << 20);
    state.counters["volume_mib"] = voxels * frames * sizeof(uint16_t) / (1 << 20);
    state.counters["labels_mib"] = voxels * frames / (1 << 20);
    state.counters["min_dice"] = minDice;
}
BENCHMARK(BM_Propagation)
    ->ArgName("method")  // 0 Farneback, 1 DIS medium, 2 DIS fine (see OpticalFlow.h)
    ->Arg(static_cast<int>(EFlowMethod::kFarneback))
    ->Arg(static_cast<int>(EFlowMethod::kDisMedium))
    ->Arg(static_cast<int>(EFlowMethod::kDisFine))
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
