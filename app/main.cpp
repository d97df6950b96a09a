// orvanta [OPTIONS] [FILE]: the viewer, or with an output option a run
// without window that writes pictures, movies or information and exits.

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AppIcon.h"
#include "CommandLine.h"
#include "HeadlessRun.h"
#include "MainFrame.h"
#include "StartupPreload.h"
#include "Viewer.h"
#include "VolumeFormat.h"

// Present only in programs built with a sanitizer.
extern "C" __attribute__((weak)) void __lsan_do_leak_check();

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0.0"
#endif

int main(int argc, char** argv) {
    CCommandLine commandLine;
    std::string error;
    if (!commandLine.Parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        std::fprintf(stderr, "orvanta: %s\nTry 'orvanta --help'.\n", error.c_str());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(CCommandLine::HelpText().c_str(), stdout);
        return 0;
    }
    if (commandLine.version) {
        std::printf("orvanta %s\n", ORVANTA_VERSION);
        return 0;
    }
    // An archive's series are listed, or retrieved into the cache and then
    // loaded from there as any DICOM folder is.
    if (commandLine.pacs.Given()) {
        if (commandLine.pacs.list) return commandLine.pacs.List();
        if (const int status = commandLine.pacs.Fetch(commandLine.file); status != 0) return status;
    }
    // Outputs need no display at all: no Qt application is made for them.
    if (commandLine.Headless()) {
        int status = RunHeadless(commandLine);
        // What the run printed may still wait in a buffer: output that cannot
        // be written (a full disk, a closed pipe) fails the run like a file that cannot.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "orvanta: cannot write the output: %s\n", std::strerror(errno));
            if (status == 0) status = 1;
        }
        // Everything the run writes is written and closed by now: tearing down
        // the libraries' static data (the DICOM dictionaries alone hold tens of
        // thousands of entries) would cost more than a small series' decoding.
        // A sanitizer's leak check, which runs at a normal exit, is run here.
        std::fflush(nullptr);
        if (__lsan_do_leak_check != nullptr) __lsan_do_leak_check();
        _exit(status);
    }

    // A volume named here starts loading now, while the window is made.
    std::unique_ptr<CStartupPreload> preload;
    if (const CVolumeFormat* format = VolumeFormatOfPath(commandLine.file); format != nullptr && format->startsEarly)
        preload = std::make_unique<CStartupPreload>(commandLine.file, commandLine.saturation);

    // Every OpenGL surface of the program gets the compatibility context the
    // fixed-function drawing needs.
    QSurfaceFormat::setDefaultFormat(COpenGLWnd::RequestedFormat());
    QApplication application(argc, argv);
    SetUpApplication();

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
    if (commandLine.sizeGiven) frame.ResizeViewTo(commandLine.width, commandLine.height);
    frame.Viewer().SetStartupPreload(std::move(preload));
    commandLine.OpenFile(frame.Viewer());
    // --series is for the folder named at start-up; later folders ask.
    frame.Viewer().SetLoadSettings(commandLine.saturation, "");
    for (const CCommandLine::Option& option : commandLine.state) CCommandLine::ApplyState(option, frame.Viewer());
    if (commandLine.quit) {
        // The next picture is the first of the loaded file: once it is on
        // the screen, the window closes.
        QObject::connect(&frame.View(), &QOpenGLWidget::frameSwapped, &application, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        frame.View().update();
    }
    return QApplication::exec();
}
