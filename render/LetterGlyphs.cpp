#include "LetterGlyphs.h"

#include <GL/gl.h>

#include <cstdint>

namespace {

using Glyph = std::array<const char*, CLetterGlyphs::kHeight>;

const Glyph kR = {"########..", "#########.", "##.....##.", "##.....##.", "##.....##.", "#########.", "########..",
                  "##...##...", "##....##..", "##....##..", "##.....##.", "##.....##.", "##......##", "##......##"};
const Glyph kL = {"##........", "##........", "##........", "##........", "##........", "##........", "##........",
                  "##........", "##........", "##........", "##........", "##........", "##########", "##########"};
const Glyph kA = {"....##....", "...####...", "..##..##..", "..##..##..", ".##....##.", ".##....##.", "##......##",
                  "##########", "##########", "##......##", "##......##", "##......##", "##......##", "##......##"};
const Glyph kP = {"########..", "#########.", "##.....##.", "##.....##.", "##.....##.", "#########.", "########..",
                  "##........", "##........", "##........", "##........", "##........", "##........", "##........"};
const Glyph kS = {".########.", "##########", "##........", "##........", "##........", "#########.", ".#########",
                  "........##", "........##", "........##", "........##", "........##", "##########", "#########."};
const Glyph kI = {"##########", "##########", "....##....", "....##....", "....##....", "....##....", "....##....",
                  "....##....", "....##....", "....##....", "....##....", "....##....", "##########", "##########"};

// One glyph as glBitmap takes it: bottom row first, two bytes a row, the
// leftmost pixel in the highest bit.
std::array<GLubyte, 2 * CLetterGlyphs::kHeight> Bits(const Glyph& glyph) {
    std::array<GLubyte, 2 * CLetterGlyphs::kHeight> bits{};
    for (int row = 0; row < CLetterGlyphs::kHeight; ++row) {
        const char* text = glyph[static_cast<size_t>(CLetterGlyphs::kHeight - 1 - row)];
        for (int column = 0; column < CLetterGlyphs::kWidth; ++column)
            if (text[column] == '#')
                bits[static_cast<size_t>(2 * row + column / 8)] |= static_cast<GLubyte>(0x80u >> (column % 8));
    }
    return bits;
}

}  // namespace

const std::array<const char*, CLetterGlyphs::kHeight>* CLetterGlyphs::Rows(char letter) {
    switch (letter) {
        case 'R': return &kR;
        case 'L': return &kL;
        case 'A': return &kA;
        case 'P': return &kP;
        case 'S': return &kS;
        case 'I': return &kI;
        default: return nullptr;
    }
}

void CLetterGlyphs::Draw(const std::string& letters, const double point[3]) {
    if (letters.empty()) return;
    glRasterPos3dv(point);
    GLboolean valid = GL_FALSE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid) return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const int width = static_cast<int>(letters.size()) * (kWidth + kGap) - kGap;
    // An empty bitmap only moves the raster position: to the word's lower left.
    glBitmap(0, 0, 0, 0, static_cast<GLfloat>(-(width / 2)), static_cast<GLfloat>(-(kHeight / 2)), nullptr);
    for (char letter : letters) {
        const Glyph* glyph = Rows(letter);
        if (glyph == nullptr) continue;
        const auto bits = Bits(*glyph);
        glBitmap(kWidth, kHeight, 0, 0, kWidth + kGap, 0, bits.data());
    }
}
