#include "VolumeView.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>

#include "OffscreenContext.h"
#include "SceneRenderer.h"

namespace {

// A view that records the one-time OpenGL error message instead of showing it.
class RecordingView : public CVolumeView {
public:
    QStringList m_messages;
    void RaiseGLError() {
        makeCurrent();
        glEnable(0xFFFF);  // not a capability: GL_INVALID_ENUM
        doneCurrent();
    }

protected:
    void ShowErrorMessage(const QString& text) override { m_messages << text; }
};

class VolumeViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            // Without a display the window tests skip; Qt must not abort first.
            if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "render_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display for window tests";
        m_view.resize(200, 150);
        m_view.show();
        // Painting makes the context; wait until the first frame is done.
        m_view.grabFramebuffer();
        if (m_view.context() == nullptr) GTEST_SKIP() << "the window got no OpenGL context";
    }
    RecordingView m_view;
};

}  // namespace

TEST_F(VolumeViewTest, WindowShowsWhatTheOffscreenRendererDraws) {
    // The same scene through the window and through an offscreen context.
    uint8_t image[4 * 2] = {10, 60, 110, 160, 210, 250, 30, 90};
    m_view.m_extent[0] = 80;
    m_view.m_extent[1] = 40;
    m_view.m_extent[2] = 60;
    m_view.m_target = {40, 20, 30};
    m_view.m_distance = 300;
    m_view.m_slicePos[0] = m_view.m_slicePos[1] = m_view.m_slicePos[2] = 0.4;
    m_view.m_bilinear = false;
    m_view.m_showAxes = true;
    for (int plane = 0; plane < 3; ++plane) m_view.SetSliceTexture(plane, 2, 4, image);
    m_view.SetClearColor(0.2, 0.3, 0.4);
    m_view.grabFramebuffer();
    int width = 0, height = 0;
    std::vector<uint8_t> window;
    ASSERT_TRUE(m_view.ReadFrameBuffer(width, height, window));
    ASSERT_EQ(width, 200);
    ASSERT_EQ(height, 150);

    COffscreenContext context;
    if (!context.Create(width, height)) GTEST_SKIP() << context.ErrorText();
    CSceneRenderer renderer;
    renderer.InitGLState();
    renderer.Resize(m_view, width, height);
    for (int plane = 0; plane < 3; ++plane) renderer.SetSliceTexture(m_view, plane, 2, 4, image);
    renderer.SetClearColor(0.2, 0.3, 0.4);
    renderer.RenderFrame(m_view, m_view);
    const std::vector<uint8_t> offscreen = renderer.ReadFrameBuffer(width, height);
    renderer.ReleaseResources();

    ASSERT_EQ(window.size(), offscreen.size());
    size_t differing = 0;
    for (size_t i = 0; i < window.size(); ++i) differing += window[i] != offscreen[i] ? 1 : 0;
    EXPECT_EQ(differing, 0u) << "bytes differ between the window and the offscreen frame";
}

TEST_F(VolumeViewTest, AnOpenGLErrorIsReportedOnceAfterTheFrame) {
    for (int frame = 0; frame < 3; ++frame) {
        m_view.RaiseGLError();
        m_view.grabFramebuffer();
        // Nothing is shown from inside painting; the message follows the frame.
        if (frame == 0) {
            EXPECT_TRUE(m_view.m_messages.isEmpty());
        }
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(m_view.m_messages.size(), 1);
    EXPECT_EQ(m_view.m_messages[0],
              "An OpenGl error occured (code==1280).\n\nAll subsequent errors will be supressed.");
    EXPECT_TRUE(m_view.m_errorReported);
}

TEST_F(VolumeViewTest, ArrowKeysAndCullingReachTheView) {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&m_view, &down);
    EXPECT_NEAR(m_view.m_planeAlpha[0], 0.95, 1e-12);
    EXPECT_EQ(m_view.m_planeAlpha[2], 1.0);
    m_view.ToggleBackfaceCulling();
    EXPECT_TRUE(m_view.m_backfaceCulling);
    m_view.makeCurrent();
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    m_view.doneCurrent();
    m_view.ToggleBackfaceCulling();
    m_view.makeCurrent();
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    m_view.doneCurrent();
}
