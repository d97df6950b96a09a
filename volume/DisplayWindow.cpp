#include "DisplayWindow.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const CWindowPresetRow kRows[] = {
    {EWindowPreset::kLoadDefault, "load-default", "Load default", 0.0, 0.0, std::nullopt},
    {EWindowPreset::kFullRange, "full-range", "Full range", 0.0, 1.0, std::nullopt},
    {EWindowPreset::kPercent1To99, "1-99", "1\u201399 %", 0.01, 0.99, std::nullopt},
    {EWindowPreset::kPercent2To98, "2-98", "2\u201398 %", 0.02, 0.98, std::nullopt},
    {EWindowPreset::kCtBrain, "ct-brain", "CT brain", 0.0, 0.0, CDisplayWindow{40.0, 80.0}},
    {EWindowPreset::kCtSoftTissue, "ct-soft-tissue", "CT soft tissue", 0.0, 0.0, CDisplayWindow{40.0, 400.0}},
    {EWindowPreset::kCtLung, "ct-lung", "CT lung", 0.0, 0.0, CDisplayWindow{-600.0, 1500.0}},
    {EWindowPreset::kCtBone, "ct-bone", "CT bone", 0.0, 0.0, CDisplayWindow{400.0, 1800.0}},
};

}  // namespace

const CWindowPresetRow* WindowPresetRows(int& count) {
    count = static_cast<int>(std::size(kRows));
    return kRows;
}

const CWindowPresetRow& WindowPresetRow(EWindowPreset preset) {
    const auto* row = std::find_if(std::begin(kRows), std::end(kRows),
                                   [preset](const CWindowPresetRow& r) { return r.preset == preset; });
    return row != std::end(kRows) ? *row : kRows[0];
}

std::optional<EWindowPreset> WindowPresetOfName(const std::string& name) {
    for (const CWindowPresetRow& row : kRows)
        if (name == row.name) return row.preset;
    return std::nullopt;
}

const char* WindowPresetName(EWindowPreset preset) {
    return WindowPresetRow(preset).name;
}

const char* WindowPresetTitle(EWindowPreset preset) {
    return WindowPresetRow(preset).title;
}

bool WindowIsUsable(const CDisplayWindow& window) {
    if (!std::isfinite(window.center) || !std::isfinite(window.width) || !(window.width > 0.0)) return false;
    // A window reaching past the largest double has ends no value can be placed between.
    return std::isfinite(window.center - window.width / 2) && std::isfinite(window.center + window.width / 2);
}

CDisplayWindow WindowOfRange(double low, double high) {
    if (high > low) return {low + (high - low) / 2, high - low};
    return {low, std::max(1.0, std::abs(low))};
}

std::optional<CDisplayWindow> WindowOfFractions(std::vector<ValueCount> counts, double lowFraction,
                                                double highFraction) {
    std::sort(counts.begin(), counts.end(),
              [](const ValueCount& a, const ValueCount& b) { return a.value < b.value; });
    uint64_t total = 0;
    for (const ValueCount& bin : counts) total += bin.count;
    if (total == 0) return std::nullopt;
    // As the saturation rule finds its level: the first value at which the
    // running count reaches the fraction; the largest when none does.
    auto valueAt = [&](double fraction) {
        uint64_t running = 0;
        for (const ValueCount& bin : counts) {
            running += bin.count;
            if (bin.count != 0 && static_cast<double>(running) / static_cast<double>(total) >= fraction)
                return bin.value;
        }
        return counts.back().value;
    };
    const CDisplayWindow window = WindowOfRange(valueAt(lowFraction), valueAt(highFraction));
    if (!WindowIsUsable(window)) return std::nullopt;
    return window;
}
