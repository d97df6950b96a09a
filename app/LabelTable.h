#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "LabelDescriptions.h"
#include "LabelImage.h"

// What the user calls each label and how it looks: its name, its colour and
// whether it is shown, per label value. A value without an entry is
// "Label N" in the palette's colour, shown, so an image read without a
// description file looks as it always did. The table may also hold labels
// the image does not (yet) have: one just added, or one a description file
// names.
class CLabelTable {
public:
    using Rgb = std::array<uint8_t, 3>;

    // One line of the Labels panel.
    struct CRow {
        int64_t value = 0;
        std::string name;
        Rgb colour = {0, 0, 0};
        bool shown = true;
        // At the frame asked for.
        int64_t voxels = 0;
        double volumeMl = 0.0;
    };

    // One row per label of `image` besides 0 and per label of the table, in
    // value order, counted in label frame `frame` with voxels of `pixelSizeMm`.
    std::vector<CRow> Rows(const CLabelImage& image, int frame,
                           const std::array<double, 3>& pixelSizeMm) const;
    // The smallest label above 0 that neither the image nor the table uses;
    // -1 when every one up to CLabelImage::kMaxValue is taken.
    int64_t NextFreeValue(const CLabelImage& image) const;

    // Gives `value` (1 to CLabelImage::kMaxValue) an entry with its defaults;
    // false for a value outside or one that has an entry already.
    bool Add(int64_t value);
    // False, with `error` saying why and nothing changed, for a value outside
    // or a name a description file cannot hold (a double quote, a line break).
    bool Rename(int64_t value, const std::string& name, std::string& error);
    // False, nothing changed, for a value outside.
    bool Recolour(int64_t value, const Rgb& colour);
    bool SetShown(int64_t value, bool shown);

    std::string Name(int64_t value) const;
    Rgb Colour(int64_t value) const;
    bool Shown(int64_t value) const;
    // The colour the label is drawn in, alpha 0 when it is hidden; label 0 is
    // background and always transparent.
    std::array<uint8_t, 4> Look(int64_t value) const;
    // Every label that has an entry.
    std::vector<int64_t> Values() const;
    bool Empty() const { return m_entries.empty(); }

    // Takes the labels a description file gives, in place of the entries held
    // (its line for label 0, the background, names nothing shown).
    void Load(const std::vector<CLabelDescription>& descriptions);
    // The lines of a description file: every label of the table and of
    // `image` besides 0, as they are shown.
    std::vector<CLabelDescription> Descriptions(const CLabelImage& image) const;
    void Clear() { m_entries.clear(); }

private:
    struct CEntry {
        std::string name;
        Rgb colour;
        bool shown = true;
        // Kept for the file only: the overlay has one opacity for all labels,
        // and the surfaces follow `shown`.
        double alpha = 1.0;
        bool meshVisible = true;
    };
    static bool InRange(int64_t value) { return value > 0 && value <= CLabelImage::kMaxValue; }
    static CEntry Default(int64_t value);
    // The entry of `value`, made with its defaults when it has none.
    CEntry& EntryOf(int64_t value);

    std::map<int64_t, CEntry> m_entries;
};
