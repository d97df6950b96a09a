#pragma once

#include <string>
#include <vector>

#include "DialogService.h"

struct CWindowLevelValues;

// The values the Preferences dialog edits.
struct CPreferenceValues {
    int frameTimeMs = 0;
    double pixelSizeX = 0.0;
    double pixelSizeY = 0.0;
    double pixelSizeZ = 0.0;
    int saturationPercent = 0;
};

// What the viewer's logic needs from the window around it: the title, the
// playback timer, mouse capture, the wait cursor, the window commands and the
// dialogs. The main window is one; tests and headless runs supply their own.
class CViewerHost {
public:
    virtual ~CViewerHost() = default;

    virtual std::string Title() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Starts (or restarts) the repeating playback timer; false when refused.
    virtual bool StartTimer(int periodMs) = 0;
    virtual void StopTimer() = 0;
    // Sends every mouse move to the frame (slice drag) or ends that.
    virtual void CaptureMouse(bool capture) = 0;
    virtual void SetWaitCursor(bool wait) = 0;
    virtual CDialogService& Dialogs() = 0;

    // Window commands: the frame's size so that the view draws width x height
    // pixels, full screen on or off, closing the window, and the About box.
    virtual void ResizeViewTo(int width, int height) = 0;
    virtual void ToggleFullScreen() = 0;
    virtual void CloseWindow() = 0;
    virtual void ShowAbout() = 0;
    // Shows the Preferences filled with `values`; true with the accepted
    // values, false when the user cancelled.
    virtual bool EditPreferences(CPreferenceValues& values) = 0;
    // Shows the Window/Level dialog filled with `values`; true with the
    // accepted values. A host without dialogs declines.
    virtual bool EditWindowLevel(CWindowLevelValues& values) {
        (void)values;
        return false;
    }

    // Asks for the reference frames labels are carried from over the
    // volume's `frames` frames: one, or two (end-diastole and end-systole),
    // starting from `references`. True with the frames chosen; a host
    // without dialogs declines.
    virtual bool AskPropagation(std::vector<int>& references, int frames) {
        (void)references;
        (void)frames;
        return false;
    }

    // File > Open from PACS...: searches the archives of the preferences and
    // retrieves a series into the cache; true with its folder and UID. A
    // host without dialogs declines.
    virtual bool AskPacsSeries(std::string& folder, std::string& seriesUid) {
        (void)folder;
        (void)seriesUid;
        return false;
    }
    // A file or workspace was opened or saved: the window lists it under
    // File > Open Recent.
    virtual void NoteRecentFile(const std::string& path) { (void)path; }
    // A modal progress display for long work ("Frame 7 of 40"); StepProgress
    // returns false once the user has cancelled.
    virtual void BeginProgress(int total) = 0;
    virtual bool StepProgress(int done, int total) = 0;
    virtual void EndProgress() = 0;

    // How far a load has come: 0 when it starts, 1 when it is done. A load
    // that takes a while shows it, and the window repaints meanwhile.
    virtual void LoadProgress(double fraction) = 0;

    // The line of the status bar: what lies at the position or under the mouse.
    virtual void ShowReadout(const std::string& text) { (void)text; }
    // A passing note in the status bar ("The oldest edits were dropped ...").
    virtual void ShowStatusNote(const std::string& text) { (void)text; }

    // The Curves panel, where the host has one: shows or hides it, and says
    // whether it is shown.
    virtual void ToggleCurves() {}
    virtual bool CurvesShown() const { return false; }
};
