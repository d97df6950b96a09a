#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "DialogService.h"
#include "TempFolder.h"
#include "TestData.h"
#include "Tool.h"
#include "ViewInterface.h"
#include "Viewer.h"

// Message boxes and file dialogs that record what was asked and answer at
// once from a queue of prepared answers ("" = the user cancelled).
class CRecordingDialogs : public CDialogService {
public:
    struct Message {
        std::string caption, text;
        Icon icon;
    };
    std::vector<Message> m_messages;
    std::vector<FileRequest> m_fileRequests;
    std::deque<std::string> m_fileAnswers;
    // Choices: what was offered, and the answers to give (-1 = cancel; none left: the proposed one).
    std::vector<CChoiceTable> m_choiceRequests;
    std::deque<int> m_choiceAnswers;
    std::vector<std::string> m_folderRequests;

    void ShowMessage(const std::string& caption, const std::string& text, Icon icon) override {
        m_messages.push_back({caption, text, icon});
    }
    std::string AskOpenFileName(const FileRequest& request) override { return Answer(request); }
    std::string AskSaveFileName(const FileRequest& request) override { return Answer(request); }
    // Each dialog's check boxes as shown (label and state), and the states
    // to answer with, one list per dialog (none left: they stay as shown).
    std::vector<std::vector<SaveOption>> m_optionRequests;
    std::deque<std::vector<bool>> m_optionAnswers;
    std::string AskSaveFileNameWithOptions(const FileRequest& request, std::vector<SaveOption>& options) override {
        m_optionRequests.push_back(options);
        std::string answer = Answer(request);
        if (!answer.empty() && !m_optionAnswers.empty()) {
            for (size_t i = 0; i < options.size() && i < m_optionAnswers.front().size(); ++i)
                options[i].checked = m_optionAnswers.front()[i];
            m_optionAnswers.pop_front();
        }
        return answer;
    }
    // The unsaved-work questions asked, and the answers to give (none left: Cancel).
    std::vector<std::string> m_unsavedQuestions;
    std::deque<EUnsavedAnswer> m_unsavedAnswers;
    EUnsavedAnswer AskSaveChanges(const std::string& text) override {
        m_unsavedQuestions.push_back(text);
        if (m_unsavedAnswers.empty()) return EUnsavedAnswer::kCancel;
        const EUnsavedAnswer answer = m_unsavedAnswers.front();
        m_unsavedAnswers.pop_front();
        return answer;
    }
    std::string AskFolderName(const std::string& caption) override {
        m_folderRequests.push_back(caption);
        if (m_fileAnswers.empty()) return "";
        std::string answer = m_fileAnswers.front();
        m_fileAnswers.pop_front();
        return answer;
    }
    int AskChoice(const CChoiceTable& table) override {
        m_choiceRequests.push_back(table);
        if (m_choiceAnswers.empty()) return table.proposed;
        const int answer = m_choiceAnswers.front();
        m_choiceAnswers.pop_front();
        return answer;
    }

private:
    std::string Answer(const FileRequest& request) {
        m_fileRequests.push_back(request);
        if (m_fileAnswers.empty()) return "";
        std::string answer = m_fileAnswers.front();
        m_fileAnswers.pop_front();
        return answer;
    }
};

// A host without a window: it keeps the title and records the rest.
class CTestHost : public CViewerHost {
public:
    std::string m_title = "Orvanta";
    bool m_timerRunning = false;
    int m_timerPeriod = 0;
    bool m_refuseTimer = false;
    bool m_mouseCaptured = false;
    int m_waitCursors = 0;
    std::vector<std::string> m_windowCommands;
    CRecordingDialogs m_dialogs;

    std::string m_readout;
    std::vector<std::string> m_statusNotes;
    void ShowStatusNote(const std::string& text) override { m_statusNotes.push_back(text); }

    std::string Title() const override { return m_title; }
    void ShowReadout(const std::string& text) override { m_readout = text; }
    void SetTitle(const std::string& title) override { m_title = title; }
    bool StartTimer(int periodMs) override {
        if (m_refuseTimer) return false;
        m_timerRunning = true;
        m_timerPeriod = periodMs;
        return true;
    }
    void StopTimer() override { m_timerRunning = false; }
    void CaptureMouse(bool capture) override { m_mouseCaptured = capture; }
    void SetWaitCursor(bool wait) override { m_waitCursors += wait ? 1 : -1; }
    CDialogService& Dialogs() override { return m_dialogs; }
    void ResizeViewTo(int width, int height) override {
        m_windowCommands.push_back("resize " + std::to_string(width) + "x" + std::to_string(height));
    }
    void ToggleFullScreen() override { m_windowCommands.push_back("full screen"); }
    void CloseWindow() override { m_windowCommands.push_back("close"); }
    void ShowAbout() override { m_windowCommands.push_back("about"); }
    // Preferences answer with m_preferenceAnswer (or cancel), recording what was shown.
    bool m_acceptPreferences = false;
    CPreferenceValues m_preferencesShown, m_preferenceAnswer;
    bool EditPreferences(CPreferenceValues& values) override {
        m_preferencesShown = values;
        if (m_acceptPreferences) values = m_preferenceAnswer;
        return m_acceptPreferences;
    }
    // The reference frames the propagation dialog answers with; empty: cancel.
    std::vector<int> m_propagationAnswer;
    bool AskPropagation(std::vector<int>& references, int) override {
        if (m_propagationAnswer.empty()) return false;
        references = m_propagationAnswer;
        return true;
    }
    // Progress: records the steps and cancels before step m_cancelAt.
    std::vector<std::string> m_progress;
    int m_cancelAt = -1;
    void BeginProgress(int total) override { m_progress.push_back("begin " + std::to_string(total)); }
    bool StepProgress(int done, int total) override {
        if (done == m_cancelAt) return false;
        m_progress.push_back("Frame " + std::to_string(done + 1) + " of " + std::to_string(total));
        return true;
    }
    void EndProgress() override { m_progress.push_back("end"); }
    std::vector<double> m_loadProgress;
    void LoadProgress(double fraction) override { m_loadProgress.push_back(fraction); }
};

// A view that records what the frame hands it instead of drawing.
class CRecordingView : public CViewInterface {
public:
    struct Upload {
        int plane, height, width;
        std::vector<uint8_t> pixels;
    };
    std::vector<Upload> m_uploads;
    double m_clear[3] = {-1, -1, -1};
    double m_brightness = -1, m_contrast = -1;
    int m_repaints = 0;
    int m_maxTextureSize = 0;  // as an OpenGL would report it; 0 = no context

    int MaxTextureSize() const override { return m_maxTextureSize; }
    void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) override {
        Upload upload{plane, height, width, {}};
        if (pixels != nullptr) upload.pixels.assign(pixels, pixels + static_cast<size_t>(height) * width);
        m_uploads.push_back(std::move(upload));
    }
    // The label overlays handed over, RGBA; an empty upload removed one.
    std::vector<Upload> m_labelUploads;
    void SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) override {
        Upload upload{plane, height, width, {}};
        if (rgba != nullptr) upload.pixels.assign(rgba, rgba + static_cast<size_t>(height) * width * 4);
        m_labelUploads.push_back(std::move(upload));
    }
    // The overlay colour at pixel (column, row) of the last overlay handed
    // to plane `plane`; transparent black where there is none.
    std::array<uint8_t, 4> LabelPixel(int plane, int column, int row) const {
        for (auto upload = m_labelUploads.rbegin(); upload != m_labelUploads.rend(); ++upload)
            if (upload->plane == plane) {
                const size_t i = (static_cast<size_t>(row) * upload->width + column) * 4;
                if (upload->pixels.size() < i + 4) return {0, 0, 0, 0};
                return {upload->pixels[i], upload->pixels[i + 1], upload->pixels[i + 2],
                        upload->pixels[i + 3]};
            }
        return {0, 0, 0, 0};
    }
    void SetClearColor(double r, double g, double b) override {
        m_clear[0] = r;
        m_clear[1] = g;
        m_clear[2] = b;
    }
    void SetBrightnessContrast(double brightness, double contrast) override {
        m_brightness = brightness;
        m_contrast = contrast;
    }
    void ToggleBackfaceCulling() override { m_backfaceCulling = !m_backfaceCulling; }
    void Repaint() override { ++m_repaints; }
    void RenderNow() override { ++m_repaints; }
    bool ReadFrameBuffer(int&, int&, std::vector<uint8_t>&) override { return false; }
};

// What of the volume format table `text` does not name (a format's kind, or
// else its extensions), for messages that must list everything that opens.
// ".nii" counts only where it is not the start of ".nii.gz".
std::string VolumeKindsMissingFrom(const std::string& text);

// The pointer of a width x height view over the scene point of `viewer`'s
// file voxel coordinates `voxel`, rounded to the pixel, as a tool hears it.
// Shows the XY-plane alone, face on at slice `slice`, close enough that a
// voxel spans some twenty pixels: a pointer then names the point of that slice under it.
void ShowSliceFaceOn(CViewer& viewer, CViewInterface& view, int slice);
CTool::CPointer PointerOver(const CViewer& viewer, const std::array<double, 3>& voxel, int width, int height);

class ViewerTest : public ::testing::Test {
protected:
    ViewerTest() : m_viewer(m_view, m_host) { m_viewer.SetBaseTitle("Orvanta"); }

    // The pixel sizes as the Preferences set them.
    void SetPixelSizes(double x, double y, double z) {
        CPreferenceValues values = m_viewer.CurrentPreferences();
        values.pixelSizeX = x;
        values.pixelSizeY = y;
        values.pixelSizeZ = z;
        m_viewer.ApplyPreferences(values);
    }
    // Writes a volume of the given size whose voxels hold (x + y + z + t) % 200.
    std::string WriteVolume(const std::string& name, int x, int y, int z, int t, double pixelSize = 0.0);
    // Writes an .obj file with one 3-vertex object per name, each centred on `centre`.
    std::string WriteMeshes(const std::string& name, const std::vector<std::string>& objects,
                            double centre[3]);

    TempFolder m_folder;
    CTestHost m_host;
    CRecordingView m_view;
    CViewer m_viewer;
};
