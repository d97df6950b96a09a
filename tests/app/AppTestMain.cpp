// The application tests need one QApplication for the whole program; window
// tests run under Xvfb, the rest need no display (offscreen platform).

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ORVANTA_TEST_SCALE_FACTOR
    // A program of window tests that runs as on a high-density display.
    qputenv("QT_SCALE_FACTOR", ORVANTA_TEST_SCALE_FACTOR);
#endif
    QApplication application(argc, argv);
    // Settings the window keeps (File > Open Recent) go to a test folder, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
