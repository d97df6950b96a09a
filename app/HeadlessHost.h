#pragma once

#include <string>
#include <vector>

#include "ViewerHost.h"

// The host of runs without a window: messages are collected for the caller
// to report, nothing plays, and progress goes to standard error only when
// that is a terminal.

// Messages become lines for standard error; the run decides what they mean.
class CHeadlessDialogs : public CDialogService {
public:
    std::vector<std::string> m_errors;
    // Information that does not make the run fail (what a load left out).
    std::vector<std::string> m_notes;

    void ShowMessage(const std::string& caption, const std::string& text, Icon icon) override;
    std::string AskOpenFileName(const FileRequest&) override { return ""; }
    std::string AskSaveFileName(const FileRequest&) override { return ""; }
    std::string AskSaveFileNameWithOptions(const FileRequest&, std::vector<SaveOption>&) override { return ""; }
    std::string AskFolderName(const std::string&) override { return ""; }
    // Without anyone to ask, the proposed choice is taken.
    int AskChoice(const CChoiceTable& table) override { return table.proposed; }
};

class CHeadlessHost : public CViewerHost {
public:
    CHeadlessDialogs m_dialogs;

    std::string Title() const override { return m_title; }
    void SetTitle(const std::string& title) override { m_title = title; }
    bool StartTimer(int) override { return false; }  // nothing plays without a window
    void StopTimer() override {}
    void CaptureMouse(bool) override {}
    void SetWaitCursor(bool) override {}
    CDialogService& Dialogs() override { return m_dialogs; }
    void ResizeViewTo(int, int) override {}
    void ToggleFullScreen() override {}
    void CloseWindow() override {}
    void ShowAbout() override {}
    bool EditPreferences(CPreferenceValues&) override { return false; }
    void BeginProgress(int) override {}
    bool StepProgress(int done, int total) override;
    void EndProgress() override;
    void LoadProgress(double fraction) override;

private:
    std::string m_title = "Orvanta";
};
