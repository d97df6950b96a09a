// orvanta [FILE]: the viewer. FILE is a .tvi or .obj file; without it the
// .avi movies of the current folder are loaded.

#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>

#include <string>

#include "MainFrame.h"

int main(int argc, char** argv) {
    // Every OpenGL surface of the program gets the compatibility context the
    // fixed-function drawing needs.
    QSurfaceFormat::setDefaultFormat(COpenGLWnd::RequestedFormat());
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvanta");

    std::string fileName;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            fileName = argv[i];
            break;
        }
    }

    CMainFrame frame;
    frame.show();
    // The view makes its OpenGL context when it is first shown.
    QApplication::processEvents();
    if (!frame.View().isValid()) {
        QMessageBox::critical(nullptr, "Error",
                              "Orvanta cannot create its OpenGL view: no OpenGL compatibility context is "
                              "available on this display.");
        return 1;
    }
    frame.Viewer().OpenStartupFile(fileName);
    return QApplication::exec();
}
