// The application tests need one QApplication for the whole program; window
// tests run under Xvfb, the rest need no display (offscreen platform).

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ORVANTA_TEST_SCALE_FACTOR
    // A program of window tests that runs as on a high-density display.
    qputenv("QT_SCALE_FACTOR", ORVANTA_TEST_SCALE_FACTOR);
#endif
    // Settings the window keeps (File > Open Recent) go to a folder of this
    // test process, neither the user's nor one tests running beside it share.
    const QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
