#pragma once

#include <array>
#include <string>

// The letters of the patient directions (R, L, A, P, S, I), the small
// letters of measurement units and names (a, d, g, m, s) and the
// characters of numbers (digits, '-', '+', '.', 'e') as bitmaps, drawn
// upright on the screen at a point of the scene whatever the camera, so that
// they read the same from every side.
class CLetterGlyphs {
public:
    static constexpr int kWidth = 10;
    static constexpr int kHeight = 14;
    // Pixels between the letters of a word.
    static constexpr int kGap = 3;

    // The rows of `letter`, top first, '#' where it is drawn; nullptr for a
    // letter that has no glyph.
    static const std::array<const char*, kHeight>* Rows(char letter);

    // Width in pixels of `letters` drawn as a word.
    static int TextWidth(const std::string& letters);

    // Draws `letters` centred on the window position of `point` (scene
    // coordinates under the current matrices) moved by (offsetX, offsetY)
    // pixels, y upwards, in the current colour; nothing when the point lies
    // outside the view. Letters without a glyph are left blank.
    static void Draw(const std::string& letters, const double point[3], int offsetX = 0, int offsetY = 0);
};
