#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How the 8-bit grey planes are coloured on screen. Grey shows the levels as
// they are; the others look each level up in a 256-entry table.
enum class EColourMap { kGrey, kInvertedGrey, kHot, kViridis, kMagma, kInferno, kPlasma, kDiverging };

// One colour map as the menu and the command line name it.
struct CColourMapInfo {
    EColourMap map;
    const char* title;  // "Inverted Grey"
    const char* name;   // "inverted-grey"
};

constexpr size_t kColourMapCount = 8;

// Every colour map, in menu order.
const std::array<CColourMapInfo, kColourMapCount>& ColourMaps();
const CColourMapInfo& ColourMapInfo(EColourMap map);
// The map of command-line name `name` (exact, lower case); nothing for an unknown name.
std::optional<EColourMap> ColourMapByName(const std::string& name);

using ColourTable = std::array<std::array<uint8_t, 3>, 256>;
// Entry g is the red, green and blue of grey level g.
const ColourTable& ColourMapTable(EColourMap map);

// `count` grey levels as packed RGB bytes (3 * count) in `map`'s colours.
std::vector<uint8_t> ColourisePlane(const uint8_t* grey, size_t count, EColourMap map);
