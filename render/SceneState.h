#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ColourMap.h"
#include "MeshSet.h"

// What the slice scene shows: where the three planes lie, how they and the
// meshes are drawn. Plain data written by the main frame and read by the
// renderer on every frame; the OpenGL objects live in the renderer.
// Planes are indexed 0 = YZ (normal x), 1 = XZ (normal y), 2 = XY (normal z).
struct CSceneState {
    static constexpr GLenum kTextureRectangle = 0x84F5;

    double m_planeAlpha[3] = {1.0, 1.0, 1.0};
    // Position of each plane along its normal as a fraction of the box: (index + 0.5) / size.
    double m_slicePos[3] = {0.0, 0.0, 0.0};
    bool m_bilinear = true;
    bool m_showPlane[3] = {true, true, true};
    // Box size in millimetres: voxel count times pixel size per axis.
    double m_extent[3] = {1.0, 1.0, 1.0};
    bool m_showAxes = false;
    bool m_clipGeometry = false;
    bool m_showBoundingBox = true;
    bool m_drawGeometry = false;
    CMeshSet m_meshes;
    // Which object of the current mesh frame is drawn; -1 = all of them.
    int m_selectedObject = -1;
    // The frame whose meshes are drawn.
    int m_meshFrame = -1;
    bool m_wireframe = false;
    // Shown by the menu; the culling itself is OpenGL state switched by the command.
    bool m_backfaceCulling = false;
    bool m_colourCoding = false;
    bool m_pointsOnly = false;
    GLenum m_textureTarget = GL_TEXTURE_2D;
    bool m_alternateTexturing = false;
    // The label overlay on the planes, when one is loaded, and its opacity.
    bool m_showLabels = true;
    double m_labelOpacity = 0.4;
    // The colours the user gave labels, by label value: a label surface is
    // drawn in its label's, and not at all when its alpha is 0 (the label is
    // hidden). Labels without an entry keep their palette colour.
    std::map<int64_t, std::array<uint8_t, 4>> m_labelColours;
    // Which patient direction each end of the three lines through the
    // position points to, axes of the millimetre frame: [axis][0] the low end,
    // [axis][1] the high end ("R", "AS"); empty without a geometry. Drawn
    // just outside the box in m_letterColour when m_showDirectionLetters is set.
    std::string m_directionLetters[3][2];
    bool m_showDirectionLetters = true;
    double m_letterColour[3] = {1.0, 1.0, 0.0};
    // The colours of the grey planes, read when a plane is uploaded.
    EColourMap m_colourMap = EColourMap::kGrey;
    // A bar of the colour map in the view's corner, labelled with the file
    // values of its ends (the display window's), drawn in m_letterColour.
    bool m_showColourBar = false;
    double m_colourBarLow = 0.0;
    double m_colourBarHigh = 0.0;

    // What the active tool draws over the scene: the brush's circle, a
    // polygon's edges so far. Points in scene millimetres; drawn on top of
    // everything in m_letterColour.
    struct COutline {
        std::vector<std::array<double, 3>> points;
        bool closed = false;
    };
    std::vector<COutline> m_toolOutlines;

    // The measurements shown at the frame shown: the line (or the area's
    // outline, closed) in scene millimetres with a mark at each point, and
    // the value's text ("d1 42.3 mm") beside `anchor`. Drawn on top of
    // everything in m_letterColour.
    struct CMeasureMark {
        COutline line;
        std::array<double, 3> anchor{};
        std::string text;
    };
    std::vector<CMeasureMark> m_measureMarks;

    // Up arrow (raise) or Down arrow (lower): the YZ and XZ planes' opacity by
    // 0.05, compared before the step. The XY plane always stays opaque.
    void StepPlaneAlpha(bool raise);

    // Toggle Objects: all objects (-1), then each object of the current mesh
    // frame in turn, then all again.
    void CycleSelectedObject();

    // The objects of the current mesh frame that are drawn, in set order.
    std::vector<int> ObjectsToDraw() const;
};
