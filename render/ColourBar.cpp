#include "ColourBar.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "ColourMap.h"
#include "LetterGlyphs.h"
#include "SceneState.h"

CColourBar::CPlace CColourBar::PlaceIn(int viewWidth, int viewHeight) {
    const int height = static_cast<int>(std::lround(0.4 * viewHeight));
    // Room for the frame, and for the end values half a glyph beyond the ends.
    if (viewWidth < kWidth + kRightMargin + 2 || height < 2 || viewHeight < height + 2 * kBottomMargin)
        return {};
    return {viewWidth - kRightMargin - kWidth, kBottomMargin, kWidth, height};
}

std::string CColourBar::FormatValue(double value) {
    if (!std::isfinite(value)) return {};
    if (value == 0.0) value = 0.0;  // no "-0"
    constexpr size_t kLongest = 7;
    std::string text;
    for (int digits = 6; digits >= 1; --digits) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
        text = buffer;
        if (text.size() - (value < 0 ? 1 : 0) <= kLongest) break;
    }
    return text;
}

void CColourBar::Draw(const CSceneState& state) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const CPlace place = PlaceIn(viewport[2], viewport[3]);
    if (place.width <= 0) return;

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(CSceneState::kTextureRectangle);
    glDisable(GL_LIGHTING);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    const int right = place.left + place.width;
    const int top = place.bottom + place.height;
    // The frame: a rectangle one pixel larger all round, which the bar covers
    // but for its edge. Everything is drawn counter-clockwise, so back-face
    // culling leaves it alone.
    glColor3dv(state.m_letterColour);
    glRecti(place.left - 1, place.bottom - 1, right + 1, top + 1);
    // One pixel row a level, its ends exactly level 0 and level 255.
    const ColourTable& table = ColourMapTable(state.m_colourMap);
    glBegin(GL_QUADS);
    for (int row = 0; row < place.height; ++row) {
        const int level = place.height > 1 ? (row * 255 + (place.height - 1) / 2) / (place.height - 1) : 255;
        glColor3ubv(table[static_cast<size_t>(level)].data());
        glVertex2i(place.left, place.bottom + row);
        glVertex2i(right, place.bottom + row);
        glVertex2i(right, place.bottom + row + 1);
        glVertex2i(place.left, place.bottom + row + 1);
    }
    glEnd();

    glColor3dv(state.m_letterColour);
    for (int end = 0; end < 2; ++end) {
        const std::string text = FormatValue(end == 0 ? state.m_colourBarLow : state.m_colourBarHigh);
        // Right-aligned to the frame, centred on the end's height. The word is
        // drawn width / 2 left of the point; half a pixel keeps the point off
        // the pixel borders, where rounding could move it either way.
        const int width = CLetterGlyphs::TextWidth(text);
        const double at[3] = {place.left - 1 - kLabelGap - width + width / 2 + 0.5,
                              (end == 0 ? place.bottom : top) + 0.5, 0.0};
        CLetterGlyphs::Draw(text, at);
    }

    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
