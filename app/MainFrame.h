#pragma once

#include <QMainWindow>
#include <QElapsedTimer>
#include <QRect>
#include <QTimer>

#include <map>
#include <memory>

#include "LabelEditSettings.h"
#include "QtDialogService.h"
#include "RecentFiles.h"
#include "ToolBox.h"
#include "Viewer.h"
#include "VolumeView.h"

class CCurvesPanel;
class CLabelsPanel;
class CMeasurementsPanel;
class QDockWidget;
class QAction;
class QLabel;
class QMenu;
class QProgressDialog;
class QToolBar;

// The main window: the menus and keys of the command table, the view filling
// the client area, the playback timer, dropped files and the window commands.
// Everything else it forwards to its CViewer.
class CMainFrame : public QMainWindow, public CViewerHost {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    CVolumeView& View() { return *m_view; }
    CViewer& Viewer() { return *m_viewer; }
    // Replaces the Qt dialogs, e.g. by a recording one in tests.
    void SetDialogService(CDialogService* dialogs) { m_dialogs = dialogs != nullptr ? dialogs : &m_qtDialogs; }
    // The menu action of command `id` (nullptr for commands without one).
    QAction* Action(int id) const;
    // Brings the menu actions' enabled and check states up to date.
    void UpdateCommandStates();
    // The tools the left button serves; choosing one also checks its action.
    CToolBox& Tools() { return m_tools; }
    void ChooseTool(CToolBox::ETool tool);
    QAction* ToolAction(CToolBox::ETool tool) const { return m_toolActions.at(static_cast<size_t>(tool)); }
    // The status bar's tool and window text ("Window   W 400 L 40").
    QString ToolStatus() const;

    // CViewerHost
    std::string Title() const override;
    void SetTitle(const std::string& title) override;
    bool StartTimer(int periodMs) override;
    void StopTimer() override;
    void CaptureMouse(bool capture) override;
    void SetWaitCursor(bool wait) override;
    CDialogService& Dialogs() override { return *m_dialogs; }
    void ResizeViewTo(int width, int height) override;
    void ToggleFullScreen() override;
    void CloseWindow() override { close(); }
    void ShowAbout() override;
    bool EditPreferences(CPreferenceValues& values) override;
    bool EditWindowLevel(CWindowLevelValues& values) override;
    bool AskPropagation(std::vector<int>& references, int frames) override;
    void BeginProgress(int total) override;
    bool StepProgress(int done, int total) override;
    void EndProgress() override;
    void LoadProgress(double fraction) override;
    void ShowReadout(const std::string& text) override;
    void NoteRecentFile(const std::string& path) override { m_recent.Add(path); }
    bool AskPacsSeries(std::string& folder, std::string& seriesUid) override;
    CRecentFiles& RecentFiles() { return m_recent; }
    // Opens an entry of File > Open Recent: a file, workspace or DICOM folder.
    void OpenRecent(const std::string& path);
    void ShowStatusNote(const std::string& text) override;
    void ToggleCurves() override;
    bool CurvesShown() const override;
    CCurvesPanel& Curves() { return *m_curves; }

    // The Labels dock and the editing settings it shows and sets.
    CLabelsPanel& LabelsPanel() { return *m_labelsPanel; }
    CMeasurementsPanel& MeasurementsPanel() { return *m_measurementsPanel; }
    // The settings the label tools share, which the Labels panel edits.
    CLabelEditSettings& EditSettings();

    bool IsFullScreen() const { return m_restoreRect.width() != 0; }
    bool IsShowingLoadProgress() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    // The Tools menu and the tool bar, one action per tool.
    void BuildTools(QMenu* before);
    void ShowToolStatus();

    CVolumeView* m_view;
    std::unique_ptr<CViewer> m_viewer;
    CQtDialogService m_qtDialogs;
    CDialogService* m_dialogs;
    QTimer m_timer;
    // The window's rectangle before Full Screen; empty when not in full screen.
    QRect m_restoreRect;
    Qt::WindowFlags m_windowedFlags;
    std::map<int, QAction*> m_actions;
    std::unique_ptr<QProgressDialog> m_progress;
    // Loads show their progress only once they have taken half a second.
    QElapsedTimer m_loadClock;
    std::unique_ptr<QProgressDialog> m_loadProgress;
    // The status bar's readout of the position or of the voxel under the mouse.
    QLabel* m_readout;
    // The Curves dock, hidden at first.
    CCurvesPanel* m_curves = nullptr;
    CToolBox m_tools;
    std::vector<QAction*> m_toolActions;
    CRecentFiles m_recent{CRecentFiles::DefaultSettingsFile()};
    // File > Open Recent, filled as it opens.
    void BuildRecentMenu(QMenu* file);
    // The status bar's name of the active tool and the window in force.
    QLabel* m_toolStatus;

    // The Labels and Measurements docks, hidden at first; the Labels dock
    // edits the label settings (declared before it: the panel keeps a
    // reference). Their menu items and keys come from the docks' own
    // show/hide actions.
    void BuildDocks();
    CLabelsPanel* m_labelsPanel = nullptr;
    CMeasurementsPanel* m_measurementsPanel = nullptr;
    // Docks `panel` hidden, its show/hide item in the Display menu with Ctrl + Shift + `key`.
    void AddPanel(QDockWidget* panel, const char* menuText, Qt::Key key);
};
