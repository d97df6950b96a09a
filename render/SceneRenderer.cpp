#include "SceneRenderer.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "ColourBar.h"
#include "ColourMap.h"
#include "LabelPalette.h"
#include "LetterGlyphs.h"
#include "SceneGeometry.h"

namespace {

// The unit cube of the bounding box, one face per row: normal, then corners.
constexpr double kCubeFaces[6][5][3] = {
    {{1, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
    {{-1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}},
    {{0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}},
    {{0, -1, 0}, {0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
    {{0, 0, 1}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
    {{0, 0, -1}, {0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}},
};

void DrawUnitCube() {
    for (const auto& face : kCubeFaces) {
        glBegin(GL_QUADS);
        glNormal3dv(face[0]);
        for (int corner = 1; corner <= 4; ++corner) glVertex3dv(face[corner]);
        glEnd();
    }
}

}  // namespace

void CSceneRenderer::ApplyPlaneTransform(int plane, double position) {
    switch (plane) {
        case 2:
            glTranslated(0, 0, position);
            break;
        case 1:
            glRotated(-90, 1, 0, 0);
            glTranslated(0, -1, 0);
            glTranslated(0, 0, position);
            break;
        default:
            glRotated(-90, 1, 0, 0);
            glTranslated(0, -1, 0);
            glRotated(-90, 0, 1, 0);
            glTranslated(0, 0, position - 1);
            break;
    }
}

namespace {

// The colour a mesh is drawn in: a label surface in its label's overlay
// colour, so the surfaces and the planes tell the structures apart alike;
// every object of a mesh file, whatever its name, in the dark red meshes
// always had. A label the user hid has alpha 0 and is not drawn.
std::array<GLfloat, 4> MeshColour(const CMeshObject& object, const CSceneState& state) {
    if (object.m_label <= 0) return {0.7f, 0.0f, 0.0f, 1.0f};
    const auto chosen = state.m_labelColours.find(object.m_label);
    const std::array<uint8_t, 4> rgba =
        chosen != state.m_labelColours.end() ? chosen->second : CLabelPalette::Colour(object.m_label);
    if (rgba[3] == 0) return {0.0f, 0.0f, 0.0f, 0.0f};
    // Lighting adds the specular highlight on top: the diffuse part is kept
    // a little below full so the colour does not wash out to white.
    constexpr GLfloat kScale = 0.8f / 255.0f;
    return {rgba[0] * kScale, rgba[1] * kScale, rgba[2] * kScale, 1.0f};
}

// Outline colours of the planes when colour coding is on: x red, y green, z blue.
constexpr GLdouble kOutlineColour[3][4] = {{1, 0, 0, 1}, {0, 0.7, 0, 1}, {0, 0, 0.7, 1}};

}  // namespace

void CSceneRenderer::InitGLState() {
    glClearColor(0, 0, 0, 0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
}

void CSceneRenderer::Resize(const COrbitCamera& camera, int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A collapsed window has no height; any aspect will do until it has one.
    gluPerspective(kFieldOfViewDegrees, static_cast<double>(width) / std::max(height, 1), camera.m_nearPlane,
                   camera.m_farPlane);
    glMatrixMode(GL_MODELVIEW);
}

GLenum CSceneRenderer::BeginFrame(const COrbitCamera& camera) {
    const GLenum error = glGetError();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const COrbitCamera::LookAt look = camera.ComputeLookAt();
    gluLookAt(look.eye[0], look.eye[1], look.eye[2], look.centre[0], look.centre[1], look.centre[2], look.up[0],
              look.up[1], look.up[2]);
    return error;
}

GLenum CSceneRenderer::RenderFrame(const COrbitCamera& camera, const CSceneState& state) {
    const GLenum error = BeginFrame(camera);
    DrawScene(state);
    glFlush();
    return error;
}

void CSceneRenderer::DrawScene(const CSceneState& state) {
    const bool anyTexture = m_texture[0] != 0 || m_texture[1] != 0 || m_texture[2] != 0 || m_labelTexture[0] != 0 ||
                            m_labelTexture[1] != 0 || m_labelTexture[2] != 0;
    if (!anyTexture && state.m_meshes.ObjectCount() == 0) return;
    if (state.m_showAxes) DrawAxes();

    // Planes and box are drawn in the unit cube scaled to the extent. The
    // scale is undone by restoring the matrix, not by dividing: an extent
    // of 0 (a flat mesh alone, a pixel size of 0) has no inverse.
    const double* extent = state.m_extent;
    glPushMatrix();
    glScaled(extent[0], extent[1], extent[2]);
    DrawPlanes(state);
    glPopMatrix();

    if (state.m_drawGeometry) DrawMeshes(state);

    if (state.m_showBoundingBox && !state.m_colourCoding) {
        glPushMatrix();
        glScaled(extent[0], extent[1], extent[2]);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(2.0f);
        glColor4d(0, 0, 0.7, 1);
        DrawUnitCube();
        glPopMatrix();
    }
    if (state.m_showDirectionLetters) DrawDirectionLetters(state);
    if (state.m_showColourBar) CColourBar::Draw(state);
    if (!state.m_measureMarks.empty()) DrawMeasureMarks(state);
    if (!state.m_toolOutlines.empty()) DrawToolOutlines(state);
}

void CSceneRenderer::BeginLinesOnTop(const CSceneState& state) {
    // On top of the planes they lie on, so depth would hide half of each line.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(CSceneState::kTextureRectangle);
    glDisable(GL_LIGHTING);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLineWidth(1.5f);
    glColor3dv(state.m_letterColour);
}

void CSceneRenderer::DrawMeasureMarks(const CSceneState& state) {
    BeginLinesOnTop(state);
    glPointSize(5.0f);
    for (const CSceneState::CMeasureMark& mark : state.m_measureMarks) {
        glBegin(mark.line.closed ? GL_LINE_LOOP : GL_LINE_STRIP);
        for (const std::array<double, 3>& point : mark.line.points) glVertex3dv(point.data());
        glEnd();
        glBegin(GL_POINTS);
        for (const std::array<double, 3>& point : mark.line.points) glVertex3dv(point.data());
        glEnd();
        // Up and to the right of its point, clear of the mark.
        const int half = CLetterGlyphs::TextWidth(mark.text) / 2;
        CLetterGlyphs::Draw(mark.text, mark.anchor.data(), half + 8, CLetterGlyphs::kHeight);
    }
    glEnable(GL_DEPTH_TEST);
}

void CSceneRenderer::DrawToolOutlines(const CSceneState& state) {
    BeginLinesOnTop(state);
    for (const CSceneState::COutline& outline : state.m_toolOutlines) {
        glBegin(outline.closed ? GL_LINE_LOOP : GL_LINE_STRIP);
        for (const std::array<double, 3>& point : outline.points) glVertex3dv(point.data());
        glEnd();
        // A single point (a polygon's first vertex) shows as a dot.
        if (outline.points.size() == 1) {
            glPointSize(4.0f);
            glBegin(GL_POINTS);
            glVertex3dv(outline.points[0].data());
            glEnd();
        }
    }
    glEnable(GL_DEPTH_TEST);
}

void CSceneRenderer::DrawDirectionLetters(const CSceneState& state) {
    const double* extent = state.m_extent;
    const std::array<double, 3> position = ScenePlanePlaces(state);
    const double margin = 0.08 * std::max({extent[0], extent[1], extent[2]});
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // On top of everything, in a plain colour.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(CSceneState::kTextureRectangle);
    glDisable(GL_LIGHTING);
    glColor3dv(state.m_letterColour);
    for (int axis = 0; axis < 3; ++axis) {
        double ends[2][3];
        double window[2][3];
        for (int end = 0; end < 2; ++end) {
            std::copy(position.begin(), position.end(), ends[end]);
            ends[end][axis] = end == 0 ? -margin : extent[axis] + margin;
            gluProject(ends[end][0], ends[end][1], ends[end][2], modelView, projection, viewport, &window[end][0],
                       &window[end][1], &window[end][2]);
        }
        // A line seen nearly end-on would put its two letters on each other.
        if (std::hypot(window[1][0] - window[0][0], window[1][1] - window[0][1]) < 3 * CLetterGlyphs::kWidth)
            continue;
        for (int end = 0; end < 2; ++end) CLetterGlyphs::Draw(state.m_directionLetters[axis][end], ends[end]);
    }
    glEnable(GL_DEPTH_TEST);
}

void CSceneRenderer::DrawPlanes(const CSceneState& state) const {
    // Clipped meshes lie in the planes: pushing the planes back keeps the
    // contour lines in front of them.
    if (state.m_clipGeometry) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }
    glEnable(state.m_textureTarget);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    for (int plane : {2, 1, 0}) {
        if (!state.m_showPlane[plane]) continue;
        if (m_texture[plane] != 0) {
            glColor4d(1, 1, 1, state.m_planeAlpha[plane]);
            glBindTexture(state.m_textureTarget, m_texture[plane]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        }
        glPushMatrix();
        ApplyPlaneTransform(plane, state.m_slicePos[plane]);
        DrawSliceQuad(state, plane);
        DrawLabelQuad(state, plane);
        if (state.m_colourCoding) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glPolygonOffset(1.0f, 1.0f);
            glDisable(state.m_textureTarget);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            glLineWidth(2.0f);
            glColor4dv(kOutlineColour[plane]);
            DrawSliceQuad(state, plane);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            glEnable(state.m_textureTarget);
            glColor4d(1, 1, 1, 1);
            glDisable(GL_POLYGON_OFFSET_FILL);
        }
        glPopMatrix();
    }
    glDisable(state.m_textureTarget);
    if (state.m_clipGeometry) glDisable(GL_POLYGON_OFFSET_FILL);
}

void CSceneRenderer::DrawLabelQuad(const CSceneState& state, int plane) const {
    if (!state.m_showLabels || m_labelTexture[plane] == 0) return;
    // The overlay fades with its plane. It lies exactly on the grey quad:
    // the same vertices under the same transform and polygon offset give the
    // same depths, which the depth test lets through as equal; the depth
    // buffer already holds them, so it is left alone.
    glColor4d(1, 1, 1, state.m_labelOpacity * state.m_planeAlpha[plane]);
    glBindTexture(state.m_textureTarget, m_labelTexture[plane]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    DrawQuad(state, m_labelWidth[plane], m_labelHeight[plane]);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glColor4d(1, 1, 1, state.m_planeAlpha[plane]);
}

void CSceneRenderer::DrawSliceQuad(const CSceneState& state, int plane) const {
    DrawQuad(state, m_texWidth[plane], m_texHeight[plane]);
}

void CSceneRenderer::DrawQuad(const CSceneState& state, int width, int height) {
    // Rectangle textures address texels in pixels, 2-D textures in 0..1.
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    if (state.m_alternateTexturing)
        glScaled(width, height, 0);
    else
        glScaled(1, 1, 0);
    glMatrixMode(GL_MODELVIEW);
    // The first image row lies at v = 1: local (u, v) takes texel (u, 1 - v).
    glBegin(GL_POLYGON);
    glTexCoord2d(0, 1);
    glVertex3d(0, 0, 0);
    glTexCoord2d(0, 0);
    glVertex3d(0, 1, 0);
    glTexCoord2d(1, 0);
    glVertex3d(1, 1, 0);
    glTexCoord2d(1, 1);
    glVertex3d(1, 0, 0);
    glEnd();
}

void CSceneRenderer::DrawAxes() {
    if (m_axisList == 0) {
        m_axisList = glGenLists(1);
        GLUquadric* quadric = gluNewQuadric();
        gluQuadricDrawStyle(quadric, GLU_FILL);
        gluQuadricNormals(quadric, GLU_SMOOTH);
        glNewList(m_axisList, GL_COMPILE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        gluCylinder(quadric, 6.0 / 7.0, 6.0 / 7.0, 10.0, 32, 1);
        glPushMatrix();
        glTranslated(0, 0, 10.0);
        gluDisk(quadric, 0.0, 12.0 / 7.0, 32, 1);
        gluCylinder(quadric, 12.0 / 7.0, 0.0, 10.0 / 3.0, 32, 1);
        glPopMatrix();
        glEndList();
        gluDeleteQuadric(quadric);
    }
    glPushMatrix();
    glColor3d(0, 0, 0.6);
    glCallList(m_axisList);
    glRotated(-90, 1, 0, 0);
    glColor3d(0, 0.6, 0);
    glCallList(m_axisList);
    glRotated(90, 1, 0, 0);
    glRotated(90, 0, 1, 0);
    glColor3d(0.6, 0, 0);
    glCallList(m_axisList);
    glPopMatrix();
}

void CSceneRenderer::DrawMeshes(const CSceneState& state) const {
    if (!state.m_clipGeometry) {
        DrawGeometry(state);
        return;
    }
    // Each shown plane keeps a thin slab of the meshes: their contour in it.
    for (int plane : {2, 1, 0}) {
        if (!state.m_showPlane[plane]) continue;
        const auto slab = ClipSlab(plane, state.m_extent, state.m_slicePos);
        const GLenum first = GL_CLIP_PLANE0 + static_cast<GLenum>(2 * (2 - plane));
        glClipPlane(first, slab[0].data());
        glClipPlane(first + 1, slab[1].data());
        glEnable(first);
        glEnable(first + 1);
        DrawGeometry(state);
        glDisable(first);
        glDisable(first + 1);
    }
}

void CSceneRenderer::DrawGeometry(const CSceneState& state) const {
    const std::vector<int> objects = state.ObjectsToDraw();
    if (objects.empty()) return;

    const bool lines = state.m_clipGeometry || state.m_wireframe;
    if (lines) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(3.0f);
    } else {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    if (state.m_pointsOnly) glPointSize(3.0f);

    const bool lit = !lines && !state.m_pointsOnly;
    if (lit) {
        const GLfloat ambient[] = {0.1f, 0.1f, 0.1f, 1.0f};
        const GLfloat diffuse[] = {0.5f, 0.5f, 0.5f, 1.0f};
        const GLfloat specular[] = {0.7f, 0.7f, 0.7f, 1.0f};
        const auto ex = static_cast<GLfloat>(state.m_extent[0]);
        const auto ey = static_cast<GLfloat>(state.m_extent[1]);
        const auto ez = static_cast<GLfloat>(state.m_extent[2]);
        const GLfloat position0[] = {ex, ey, ez, 0.0f};
        const GLfloat position1[] = {-ex, -ey, -ez, 0.0f};
        for (GLenum light : {GL_LIGHT0, GL_LIGHT1}) {
            glLightfv(light, GL_AMBIENT, ambient);
            glLightfv(light, GL_DIFFUSE, diffuse);
            glLightfv(light, GL_SPECULAR, specular);
            glLightfv(light, GL_POSITION, light == GL_LIGHT0 ? position0 : position1);
        }
        const GLfloat materialAmbient[] = {0.0f, 0.0f, 0.0f, 1.0f};
        glMaterialfv(GL_FRONT, GL_AMBIENT, materialAmbient);
        glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
        glMaterialf(GL_FRONT, GL_SHININESS, 50.0f);
        glShadeModel(GL_SMOOTH);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHT1);
        glEnable(GL_COLOR_MATERIAL);
    }

    for (int index : objects) {
        const CMeshObject& object = state.m_meshes.Object(index);
        // Colour material makes the current colour the ambient and diffuse
        // reflectance of both faces. Some drivers take the colour only at
        // its next change, not when colour material is switched on, so the
        // material gets it directly as well.
        const std::array<GLfloat, 4> colour = MeshColour(object, state);
        if (colour[3] == 0.0f) continue;
        glColor4fv(colour.data());
        if (lit) glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, colour.data());
        if (state.m_pointsOnly) {
            glBegin(GL_POINTS);
            for (const Vec3d& v : object.m_vertices) glVertex3d(v.x, v.y, v.z);
            glEnd();
        } else {
            // Normals exist for every vertex once the set was loaded; a
            // hand-built object without them is drawn unshaded.
            const bool normals = object.m_normals.size() == object.m_vertices.size();
            const size_t count = object.m_vertices.size();
            glBegin(GL_TRIANGLES);
            for (const Triangle& triangle : object.m_triangles) {
                if (static_cast<size_t>(triangle.v[0]) >= count || static_cast<size_t>(triangle.v[1]) >= count ||
                    static_cast<size_t>(triangle.v[2]) >= count)
                    continue;
                for (int corner = 0; corner < 3; ++corner) {
                    const auto i = static_cast<size_t>(triangle.v[corner]);
                    if (normals) glNormal3d(object.m_normals[i].x, object.m_normals[i].y, object.m_normals[i].z);
                    glVertex3d(object.m_vertices[i].x, object.m_vertices[i].y, object.m_vertices[i].z);
                }
            }
            glEnd();
        }
        if (!object.m_vertices.empty()) {
            // A small sphere marks the first vertex, where the contours start.
            const Vec3d& first = object.m_vertices.front();
            glPushMatrix();
            glTranslatef(static_cast<GLfloat>(first.x), static_cast<GLfloat>(first.y),
                         static_cast<GLfloat>(first.z));
            GLUquadric* quadric = gluNewQuadric();
            gluQuadricDrawStyle(quadric, GLU_FILL);
            gluQuadricNormals(quadric, GLU_SMOOTH);
            gluSphere(quadric, 1.0, 16, 16);
            gluDeleteQuadric(quadric);
            glPopMatrix();
        }
    }

    if (lit) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glDisable(GL_LIGHT1);
        glDisable(GL_COLOR_MATERIAL);
    }
}

void CSceneRenderer::SetSliceTexture(const CSceneState& state, int plane, int height, int width,
                                     const uint8_t* pixels) {
    if (plane < 0 || plane > 2) return;
    if (m_texture[plane] != 0) {
        glDeleteTextures(1, &m_texture[plane]);
        m_texture[plane] = 0;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(state.m_textureTarget, name);
    m_texWidth[plane] = width;
    m_texHeight[plane] = height;
    m_texture[plane] = name;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (state.m_colourMap == EColourMap::kGrey || pixels == nullptr || width <= 0 || height <= 0) {
        glTexImage2D(state.m_textureTarget, 0, 1, width, height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels);
    } else {
        // The colours belong to the levels brightness and contrast make, so
        // those are applied here, as the transfer would, and the transfer
        // is kept off the colours.
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        const std::array<uint8_t, 256> levels = TransferGreyLevels({m_transferScale, m_transferBias});
        std::vector<uint8_t> grey(pixels, pixels + count);
        for (uint8_t& level : grey) level = levels[level];
        const std::vector<uint8_t> rgb = ColourisePlane(grey.data(), count, state.m_colourMap);
        ApplyPixelTransfer(1.0, 0.0);
        glTexImage2D(state.m_textureTarget, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        ApplyPixelTransfer(m_transferScale, m_transferBias);
    }
    const GLint filter = state.m_bilinear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(state.m_textureTarget, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(state.m_textureTarget, GL_TEXTURE_MAG_FILTER, filter);
}

void CSceneRenderer::SetLabelTexture(const CSceneState& state, int plane, int height, int width,
                                     const uint8_t* rgba) {
    if (plane < 0 || plane > 2) return;
    if (m_labelTexture[plane] != 0) {
        glDeleteTextures(1, &m_labelTexture[plane]);
        m_labelTexture[plane] = 0;
    }
    m_labelWidth[plane] = m_labelHeight[plane] = 0;
    if (rgba == nullptr || width <= 0 || height <= 0) return;
    glGenTextures(1, &m_labelTexture[plane]);
    glBindTexture(state.m_textureTarget, m_labelTexture[plane]);
    m_labelWidth[plane] = width;
    m_labelHeight[plane] = height;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Brightness and contrast are for the grey planes; label colours go in as they are.
    ApplyPixelTransfer(1.0, 0.0);
    glTexImage2D(state.m_textureTarget, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    ApplyPixelTransfer(m_transferScale, m_transferBias);
    glTexParameteri(state.m_textureTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(state.m_textureTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

void CSceneRenderer::SetClearColor(double red, double green, double blue) {
    glClearColor(static_cast<GLfloat>(red), static_cast<GLfloat>(green), static_cast<GLfloat>(blue), 0.0f);
}

void CSceneRenderer::ApplyPixelTransfer(double scale, double bias) const {
    const auto s = static_cast<GLfloat>(scale);
    const auto b = static_cast<GLfloat>(bias);
    glPixelTransferf(GL_RED_SCALE, s);
    glPixelTransferf(GL_GREEN_SCALE, s);
    glPixelTransferf(GL_BLUE_SCALE, s);
    glPixelTransferf(GL_RED_BIAS, b);
    glPixelTransferf(GL_GREEN_BIAS, b);
    glPixelTransferf(GL_BLUE_BIAS, b);
}

void CSceneRenderer::SetBrightnessContrast(double brightness, double contrast) {
    const PixelTransferValues transfer = BrightnessContrastTransfer(brightness, contrast);
    m_transferScale = transfer.scale;
    m_transferBias = transfer.bias;
    ApplyPixelTransfer(m_transferScale, m_transferBias);
}

void CSceneRenderer::SetBackfaceCulling(bool on) {
    if (on) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

std::vector<uint8_t> CSceneRenderer::ReadFrameBuffer(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 4);
    if (pixels.empty()) return pixels;
    // With the identity transfer the driver copies the pixels straight out.
    ApplyPixelTransfer(1.0, 0.0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    ApplyPixelTransfer(m_transferScale, m_transferBias);
    // The screen is opaque: the alpha the clear colour leaves in the buffer
    // would make a snapshot's background transparent.
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    return pixels;
}

void CSceneRenderer::ReleaseResources() {
    for (GLuint* names : {m_texture, m_labelTexture})
        for (int plane = 0; plane < 3; ++plane) {
            if (names[plane] != 0) glDeleteTextures(1, &names[plane]);
            names[plane] = 0;
        }
    if (m_axisList != 0) glDeleteLists(m_axisList, 1);
    m_axisList = 0;
}
