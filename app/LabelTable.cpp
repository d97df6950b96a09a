#include "LabelTable.h"

#include <algorithm>
#include <set>

#include "LabelPalette.h"

CLabelTable::CEntry CLabelTable::Default(int64_t value) {
    const std::array<uint8_t, 4> rgba = CLabelPalette::Colour(value);
    CEntry entry;
    entry.name = "Label " + std::to_string(value);
    entry.colour = {rgba[0], rgba[1], rgba[2]};
    return entry;
}

CLabelTable::CEntry& CLabelTable::EntryOf(int64_t value) {
    const auto found = m_entries.find(value);
    if (found != m_entries.end()) return found->second;
    return m_entries.emplace(value, Default(value)).first->second;
}

std::vector<CLabelTable::CRow> CLabelTable::Rows(const CLabelImage& image, int frame,
                                                 const std::array<double, 3>& pixelSizeMm) const {
    std::set<int64_t> values;
    for (const int64_t value : image.Values())
        if (value != 0) values.insert(value);
    for (const auto& [value, entry] : m_entries) values.insert(value);
    const double voxelMl = pixelSizeMm[0] * pixelSizeMm[1] * pixelSizeMm[2] / 1000.0;
    std::vector<CRow> rows;
    rows.reserve(values.size());
    for (const int64_t value : values) {
        CRow row;
        row.value = value;
        row.name = Name(value);
        row.colour = Colour(value);
        row.shown = Shown(value);
        const int index = image.IndexOf(value);
        row.voxels = index > 0 ? image.VoxelCount(frame, index) : 0;
        row.volumeMl = static_cast<double>(row.voxels) * voxelMl;
        rows.push_back(std::move(row));
    }
    return rows;
}

int64_t CLabelTable::NextFreeValue(const CLabelImage& image) const {
    const std::vector<int64_t>& used = image.Values();
    for (int64_t value = 1; value <= CLabelImage::kMaxValue; ++value)
        if (m_entries.count(value) == 0 && !std::binary_search(used.begin(), used.end(), value)) return value;
    return -1;
}

bool CLabelTable::Add(int64_t value) {
    if (!InRange(value) || m_entries.count(value) != 0) return false;
    m_entries.emplace(value, Default(value));
    return true;
}

bool CLabelTable::Rename(int64_t value, const std::string& name, std::string& error) {
    if (!InRange(value)) {
        error = "There is no label " + std::to_string(value) + ".";
        return false;
    }
    if (!LabelNameFits(name)) {
        error =
            "A label's name cannot hold a double quote or a line break: the label description file keeps "
            "it between double quotes on one line.";
        return false;
    }
    EntryOf(value).name = name;
    return true;
}

bool CLabelTable::Recolour(int64_t value, const Rgb& colour) {
    if (!InRange(value)) return false;
    EntryOf(value).colour = colour;
    return true;
}

bool CLabelTable::SetShown(int64_t value, bool shown) {
    if (!InRange(value)) return false;
    EntryOf(value).shown = shown;
    return true;
}

std::string CLabelTable::Name(int64_t value) const {
    const auto found = m_entries.find(value);
    return found != m_entries.end() ? found->second.name : Default(value).name;
}

CLabelTable::Rgb CLabelTable::Colour(int64_t value) const {
    const auto found = m_entries.find(value);
    return found != m_entries.end() ? found->second.colour : Default(value).colour;
}

bool CLabelTable::Shown(int64_t value) const {
    const auto found = m_entries.find(value);
    return found == m_entries.end() || found->second.shown;
}

std::array<uint8_t, 4> CLabelTable::Look(int64_t value) const {
    if (!InRange(value)) return {0, 0, 0, 0};
    const Rgb rgb = Colour(value);
    return {rgb[0], rgb[1], rgb[2], static_cast<uint8_t>(Shown(value) ? 255 : 0)};
}

std::vector<int64_t> CLabelTable::Values() const {
    std::vector<int64_t> values;
    for (const auto& [value, entry] : m_entries) values.push_back(value);
    return values;
}

void CLabelTable::Load(const std::vector<CLabelDescription>& descriptions) {
    m_entries.clear();
    for (const CLabelDescription& description : descriptions) {
        if (!InRange(description.value)) continue;
        CEntry& entry = m_entries[description.value];
        entry.name = description.name;
        entry.colour = description.colour;
        entry.shown = description.visible;
        entry.alpha = description.alpha;
        entry.meshVisible = description.meshVisible;
    }
}

std::vector<CLabelDescription> CLabelTable::Descriptions(const CLabelImage& image) const {
    std::set<int64_t> values(image.Values().begin(), image.Values().end());
    for (const auto& [value, entry] : m_entries) values.insert(value);
    values.erase(0);
    std::vector<CLabelDescription> lines;
    for (const int64_t value : values) {
        const auto found = m_entries.find(value);
        const CEntry entry = found != m_entries.end() ? found->second : Default(value);
        lines.push_back({value, entry.colour, entry.alpha, entry.shown, entry.meshVisible, entry.name});
    }
    return lines;
}
