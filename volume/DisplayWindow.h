#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A window on the values of a series, in the file's own units: values from
// center - width / 2 (black) to center + width / 2 (white) are shown on a
// linear ramp, those outside at the nearer end.
struct CDisplayWindow {
    double center = 0.0;
    double width = 0.0;
};

// The windows a user can ask for by name. The load default is the saturation
// rule the volume was loaded with; full range and the percentiles come from
// the values of the whole series; the CT windows are fixed ones in Hounsfield
// units, offered for every series (whether they suit it is the caller's call).
enum class EWindowPreset {
    kLoadDefault,
    kFullRange,
    kPercent1To99,
    kPercent2To98,
    kCtBrain,
    kCtSoftTissue,
    kCtLung,
    kCtBone,
};

// One preset: its name on the command line, its title in menus, and for the
// percentile windows the fractions of all voxels at or below their ends, for
// the fixed ones the window itself.
struct CWindowPresetRow {
    EWindowPreset preset;
    const char* name;
    const char* title;
    double lowFraction;
    double highFraction;
    std::optional<CDisplayWindow> fixed;
};

// Every preset, in the order of the enumeration (and of menus).
const CWindowPresetRow* WindowPresetRows(int& count);
const CWindowPresetRow& WindowPresetRow(EWindowPreset preset);

// The preset a command line names ("ct-lung"), or nothing for an unknown name.
std::optional<EWindowPreset> WindowPresetOfName(const std::string& name);
const char* WindowPresetName(EWindowPreset preset);
const char* WindowPresetTitle(EWindowPreset preset);

// True when the window can be shown: a finite center and a finite width
// above 0 whose ends are finite too.
bool WindowIsUsable(const CDisplayWindow& window);

// How often a value occurs in a series.
struct ValueCount {
    double value = 0.0;
    uint64_t count = 0;
};

// The window from the smallest value at or below which at least `lowFraction`
// of all voxels lie to the smallest such value for `highFraction` (0 and 1:
// the whole range); `counts` may list a value more than once, in any order.
// Nothing when there are no voxels or the range is too wide for a window.
std::optional<CDisplayWindow> WindowOfFractions(std::vector<ValueCount> counts, double lowFraction,
                                                double highFraction);

// The window from `low` (black) to `high` (white). Where the two are one
// value it is a window of width max(1, |value|) centred on it, which shows
// that value mid-grey.
CDisplayWindow WindowOfRange(double low, double high);
