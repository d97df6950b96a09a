#pragma once

#include <array>
#include <set>
#include <string>
#include <vector>

#include "Measurement.h"

class CLabelImage;

// The rulers, protractors and outlines placed on the volume, and the file
// they are read from. Knows nothing of the viewer: whoever loads them says
// what the volume is.
class CMeasurementLayer {
public:
    // What a file's points are checked and converted against.
    struct CVolumeContext {
        std::array<int, 3> size{0, 0, 0};  // voxels along i, j, k
        CMeasureMetric metric;             // toPatient set when the volume has a geometry
        const CLabelImage* labels = nullptr;
    };

    // Reads a measurement file (see README, "Measurements"), replacing the
    // measurements held; on any fault keeps them as they were and gives one
    // line naming the measurement, or the file, and what is wrong.
    bool Load(const std::string& path, const CVolumeContext& volume, std::string& error);
    // The same from the file's text; `source` names it in errors. With
    // `hidden`, the names of those the file marks "shown": false.
    static bool Parse(const std::string& text, const std::string& source, const CVolumeContext& volume,
                      std::vector<CMeasurement>& out, std::string& error,
                      std::set<std::string>* hidden = nullptr);

    // The same from a file's text; replaces the measurements, and which are
    // hidden, only when all of it reads.
    bool LoadText(const std::string& text, const std::string& source, const CVolumeContext& volume,
                  std::string& error) {
        return Parse(text, source, volume, m_items, error, &m_hidden);
    }
    // The measurements as the "measurements" list of a file that reads back
    // to the same points (voxel numbering, frames and followed labels kept).
    std::string ToJson() const;

    const std::vector<CMeasurement>& Items() const { return m_items; }
    bool Empty() const { return m_items.empty(); }
    size_t Size() const { return m_items.size(); }
    void Clear() {
        m_items.clear();
        m_hidden.clear();
    }

    // --- Editing: indices are those of Items() -------------------------------
    void Add(CMeasurement measurement);
    void Remove(size_t index);
    // A measurement to change in place; Rename() renames one.
    CMeasurement& Item(size_t index) { return m_items.at(index); }
    void Rename(size_t index, const std::string& name);
    // The index of the measurement called `name`, or -1.
    int IndexOf(const std::string& name) const;
    // "d1", "a1", "s1" by kind, counting up to the first name not taken.
    std::string FreeName(CMeasurement::Kind kind) const;
    // Hidden measurements are not drawn; their values are still reckoned.
    bool Shown(size_t index) const;
    void SetShown(size_t index, bool shown);

    bool operator==(const CMeasurementLayer&) const = default;

    // The column a measurement takes in a table of frames: "d1_mm", "a1_deg", "s1_mm2".
    static std::string ColumnName(const CMeasurement& measurement);

private:
    std::vector<CMeasurement> m_items;
    // The names of the measurements hidden: whoever replaces m_items cannot
    // leave it out of step, as it would be beside them.
    std::set<std::string> m_hidden;
};
