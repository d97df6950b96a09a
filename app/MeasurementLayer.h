#pragma once

#include <array>
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
    // The same from the file's text; `source` names it in errors.
    static bool Parse(const std::string& text, const std::string& source, const CVolumeContext& volume,
                      std::vector<CMeasurement>& out, std::string& error);

    // The same from a file's text; replaces the measurements only when all of it reads.
    bool LoadText(const std::string& text, const std::string& source, const CVolumeContext& volume,
                  std::string& error) {
        return Parse(text, source, volume, m_items, error);
    }
    // The measurements as the "measurements" list of a file that reads back
    // to the same points (voxel numbering, frames and followed labels kept).
    std::string ToJson() const;

    const std::vector<CMeasurement>& Items() const { return m_items; }
    bool Empty() const { return m_items.empty(); }
    void Clear() { m_items.clear(); }

    // The column a measurement takes in a table of frames: "d1_mm", "a1_deg", "s1_mm2".
    static std::string ColumnName(const CMeasurement& measurement);

private:
    std::vector<CMeasurement> m_items;
};
