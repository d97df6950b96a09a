#include "MainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWheelEvent>

#include "AboutDlg.h"
#include "AppIcon.h"
#include "CommandTable.h"
#include "CurvesPanel.h"
#include "LabelEditing.h"
#include "LabelsPanel.h"
#include "MeasurementsPanel.h"
#include "NoticeListener.h"
#include "PacsDialog.h"
#include "PreferencesDialog.h"
#include "PropagationDialog.h"
#include "WindowLevelDialog.h"

CMainFrame::CMainFrame()
    : m_view(new CVolumeView(this)),
      m_viewer(std::make_unique<CViewer>(*m_view, *this)),
      m_qtDialogs(this),
      m_dialogs(&m_qtDialogs),
      m_readout(new QLabel(this)),
      m_tools(*m_viewer),
      m_toolStatus(new QLabel(this)) {
    setWindowTitle("Orvanta");
    setCentralWidget(m_view);
    setAcceptDrops(true);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_readout, 1);
    statusBar()->addPermanentWidget(m_toolStatus);
    connect(m_view, &COpenGLWnd::Hovered, this, [this](double x, double y, int width, int height) {
        m_viewer->OnHover(x, y, width, height);
        m_tools.Active().Hover({static_cast<int>(x), static_cast<int>(y), width, height});
    });
    connect(m_view, &COpenGLWnd::HoverEnded, this, [this] {
        m_viewer->OnHover(0, 0, 0, 0);
        m_tools.Active().Hover({});
    });
    connect(&m_timer, &QTimer::timeout, this, [this] { m_viewer->Navigation().OnTimer(); });
    // A tool that takes the left button hears it instead of the camera.
    connect(m_view, &COpenGLWnd::LeftPressed, this,
            [this](int x, int y, int width, int height) { m_tools.Active().Press({x, y, width, height}); });
    connect(m_view, &COpenGLWnd::LeftDragged, this,
            [this](int x, int y, int width, int height) { m_tools.Active().Drag({x, y, width, height}); });
    connect(m_view, &COpenGLWnd::LeftReleased, this, [this] { m_tools.Active().Release(); });
    connect(m_view, &COpenGLWnd::LeftDoubleClicked, this,
            [this](int x, int y, int width, int height) { m_tools.Active().DoubleClick({x, y, width, height}); });
    new CNoticeListener(m_viewer->Notices(), this, [this](unsigned changes) {
        if ((changes & (kChangeVolume | kChangeDisplay)) != 0) ShowToolStatus();
    });
    m_curves = new CCurvesPanel(*m_viewer, this);
    addDockWidget(Qt::RightDockWidgetArea, m_curves);
    m_curves->hide();
    BuildMenus();
    BuildDocks();
    resize(800, 640);
    m_view->setFocus();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildMenus() {
    std::vector<QMenu*> menus;
    for (const char* title : kMenuTitles) {
        QMenu* menu = menuBar()->addMenu(title);
        menus.push_back(menu);
        // Rules are read when a menu opens; while it is closed every action
        // stays enabled so that its key reaches the rule check in Execute.
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            for (auto& [id, action] : m_actions) action->setEnabled(true);
        });
    }
    for (const CCommand& command : CommandTable()) {
        auto* action = new QAction(this);
        QList<QKeySequence> shortcuts;
        for (const QKeyCombination& key : command.keys) shortcuts << QKeySequence(key);
        action->setShortcuts(shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        // The text carries its own key hint after the tab.
        action->setShortcutVisibleInContextMenu(false);
        if (command.text != nullptr) action->setText(QString::fromUtf8(command.text));
        action->setCheckable(IsCommandCheckable(command));
        const int id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { m_viewer->Execute(id); });
        if (command.menu >= 0) {
            QMenu* menu = menus[static_cast<size_t>(command.menu)];
            if (command.separatorBefore) menu->addSeparator();
            menu->addAction(action);
        }
        addAction(action);  // keys work with the menu closed and for key-only commands
        m_actions[id] = action;
    }
    BuildRecentMenu(menus.front());
    // Tools come before Help.
    BuildTools(menus.back());
}

void CMainFrame::BuildRecentMenu(QMenu* file) {
    auto* recent = new QMenu("Open &Recent", this);
    // Between opening and saving a workspace.
    file->insertMenu(m_actions.at(kCmdSaveWorkspace), recent);
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        int number = 0;
        for (const std::string& path : m_recent.Files()) {
            const QString text = QString::fromStdString(path);
            QAction* action = recent->addAction(QString("&%1 %2").arg(++number % 10).arg(text));
            connect(action, &QAction::triggered, this, [this, path] { OpenRecent(path); });
        }
        if (number == 0) recent->addAction("(none)")->setEnabled(false);
        recent->addSeparator();
        connect(recent->addAction("Clear Menu"), &QAction::triggered, this, [this] { m_recent.Clear(); });
    });
}

bool CMainFrame::AskPacsSeries(std::string& folder, std::string& seriesUid) {
    CPacsDialog dialog(*m_dialogs, "", this);
    if (dialog.exec() != QDialog::Accepted) return false;
    folder = dialog.Folder();
    seriesUid = dialog.SeriesUid();
    return true;
}

void CMainFrame::OpenRecent(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists()) {
        m_dialogs->ShowMessage("Error", path + " no longer exists.", CDialogService::Icon::kError);
        return;
    }
    if (info.isDir())
        m_viewer->LoadVolume(path);
    else if (!m_viewer->OpenFile(path))
        m_dialogs->ShowMessage("Error", path + " is not a file Orvanta opens.", CDialogService::Icon::kError);
}

void CMainFrame::BuildTools(QMenu* before) {
    QMenu* menu = new QMenu("T&ools", this);
    menuBar()->insertMenu(before->menuAction(), menu);
    QToolBar* bar = addToolBar("Tools");
    bar->setObjectName("tools");
    bar->setMovable(false);
    auto* group = new QActionGroup(this);
    for (const CToolBox::CEntry& entry : CToolBox::Entries()) {
        auto* action = new QAction(QString::fromUtf8(entry.menuText), this);
        action->setShortcut(QKeySequence(entry.key));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setShortcutVisibleInContextMenu(false);
        action->setCheckable(true);
        action->setChecked(entry.tool == m_tools.ActiveId());
        action->setToolTip(QString::fromUtf8(m_tools.Tool(entry.tool).Name()) + " (" +
                           QKeySequence(entry.key).toString() + ")");
        group->addAction(action);
        menu->addAction(action);
        bar->addAction(action);
        addAction(action);
        const CToolBox::ETool tool = entry.tool;
        connect(action, &QAction::triggered, this, [this, tool] { ChooseTool(tool); });
        m_toolActions.push_back(action);
    }
    // Enter finishes what a tool has begun (a polygon), Esc drops it: keys
    // of the view only, so that they keep their meaning in the panels.
    const std::pair<QList<QKeySequence>, void (CTool::*)()> keys[] = {
        {{QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}, &CTool::Finish},
        {{QKeySequence(Qt::Key_Escape)}, &CTool::Cancel}};
    for (const auto& [sequences, act] : keys) {
        auto* action = new QAction(this);
        action->setShortcuts(sequences);
        action->setShortcutContext(Qt::WidgetShortcut);
        m_view->addAction(action);
        connect(action, &QAction::triggered, this, [this, act = act] { (m_tools.Active().*act)(); });
    }
    ShowToolStatus();
}

void CMainFrame::ChooseTool(CToolBox::ETool tool) {
    m_tools.Choose(tool);
    m_view->SetLeftButtonTurns(!m_tools.Active().TakesLeftButton());
    ToolAction(tool)->setChecked(true);
    ShowToolStatus();
}

QString CMainFrame::ToolStatus() const {
    QString text = QString("Tool: ") + m_tools.Active().Name();
    const std::string window = CWindowLevel::StatusText(*m_viewer);
    if (!window.empty()) text += "   " + QString::fromStdString(window);
    return text;
}

void CMainFrame::ShowToolStatus() {
    const QString text = ToolStatus();
    if (m_toolStatus->text() != text) m_toolStatus->setText(text);
}

bool CMainFrame::EditWindowLevel(CWindowLevelValues& values) {
    CWindowLevelDialog dialog(values, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    values = dialog.Values();
    return true;
}

bool CMainFrame::AskPropagation(std::vector<int>& references, int frames) {
    CPropagationDialog dialog(references, frames, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    references = dialog.References();
    return true;
}

QAction* CMainFrame::Action(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

void CMainFrame::UpdateCommandStates() {
    for (const CCommand& command : CommandTable()) {
        QAction* action = m_actions[command.id];
        action->setEnabled(IsCommandEnabled(command, *m_viewer));
        if (IsCommandCheckable(command)) action->setChecked(IsCommandChecked(command, *m_viewer));
    }
}

std::string CMainFrame::Title() const { return windowTitle().toStdString(); }

void CMainFrame::SetTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

bool CMainFrame::StartTimer(int periodMs) {
    if (periodMs < 0) return false;
    m_timer.start(periodMs);
    return m_timer.isActive();
}

void CMainFrame::StopTimer() { m_timer.stop(); }

void CMainFrame::CaptureMouse(bool capture) {
    if (capture) {
        setMouseTracking(true);
        grabMouse();
    } else {
        releaseMouse();
        setMouseTracking(false);
    }
}

void CMainFrame::SetWaitCursor(bool wait) {
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void CMainFrame::ResizeViewTo(int width, int height) {
    // The size is named in device pixels, the pixels snapshots and movies
    // hold; widgets are sized in logical pixels, fewer on a scaled display.
    const QSize logical = COpenGLWnd::LogicalSizeFor(QSize(width, height), m_view->devicePixelRatio());
    resize(this->width() - m_view->width() + logical.width(),
           this->height() - m_view->height() + logical.height());
    update();
}

void CMainFrame::ToggleFullScreen() {
    if (!IsFullScreen()) {
        m_restoreRect = geometry();
        m_windowedFlags = windowFlags();
        menuBar()->hide();
        statusBar()->hide();
        setWindowFlags(m_windowedFlags | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        const QScreen* screen = QGuiApplication::primaryScreen();
        setGeometry(screen != nullptr ? screen->geometry() : m_restoreRect);
        show();
    } else {
        menuBar()->show();
        statusBar()->show();
        setWindowFlags(m_windowedFlags);
        setGeometry(m_restoreRect);
        m_restoreRect = QRect();
        show();
    }
    m_view->setFocus();
}

void CMainFrame::ShowAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

bool CMainFrame::EditPreferences(CPreferenceValues& values) {
    CPreferencesDialog dialog(m_dialogs, this);
    dialog.m_frameTimeMs = values.frameTimeMs;
    dialog.m_pixelSizeX = values.pixelSizeX;
    dialog.m_pixelSizeY = values.pixelSizeY;
    dialog.m_pixelSizeZ = values.pixelSizeZ;
    dialog.m_saturationPercent = values.saturationPercent;
    if (dialog.exec() != QDialog::Accepted) return false;
    values.frameTimeMs = dialog.m_frameTimeMs;
    values.pixelSizeX = dialog.m_pixelSizeX;
    values.pixelSizeY = dialog.m_pixelSizeY;
    values.pixelSizeZ = dialog.m_pixelSizeZ;
    values.saturationPercent = dialog.m_saturationPercent;
    return true;
}

void CMainFrame::BeginProgress(int total) {
    m_progress = std::make_unique<QProgressDialog>("", "Cancel", 0, total, this);
    m_progress->setWindowTitle(kProductName);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
}

bool CMainFrame::StepProgress(int done, int total) {
    if (m_progress == nullptr) return true;
    m_progress->setLabelText(QString("Frame %1 of %2").arg(done + 1).arg(total));
    m_progress->setValue(done);
    QApplication::processEvents();
    return !m_progress->wasCanceled();
}

void CMainFrame::EndProgress() { m_progress.reset(); }

void CMainFrame::LoadProgress(double fraction) {
    constexpr int kSteps = 1000;
    if (fraction <= 0.0) {
        m_loadClock.start();
        return;
    }
    if (fraction >= 1.0) {
        m_loadProgress.reset();
        m_loadClock.invalidate();
        return;
    }
    if (m_loadProgress == nullptr && m_loadClock.isValid() && m_loadClock.elapsed() > 500) {
        m_loadProgress = std::make_unique<QProgressDialog>("Loading volume...", QString(), 0, kSteps, this);
        m_loadProgress->setWindowTitle(kProductName);
        m_loadProgress->setWindowModality(Qt::WindowModal);
        m_loadProgress->setMinimumDuration(0);
    }
    if (m_loadProgress != nullptr) {
        m_loadProgress->setValue(static_cast<int>(fraction * kSteps));
        QApplication::processEvents();
    }
}

void CMainFrame::ShowStatusNote(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text), 10000);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Unsaved label edits are saved or let go first, or the window stays.
    if (!m_viewer->Editing().MayDiscard(false)) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::ShowReadout(const std::string& text) {
    const QString line = QString::fromStdString(text);
    if (m_readout->text() != line) m_readout->setText(line);
}

CLabelEditSettings& CMainFrame::EditSettings() { return m_viewer->Editing().Settings(); }

void CMainFrame::BuildDocks() {
    m_labelsPanel = new CLabelsPanel(*m_viewer, EditSettings(), this);
    AddPanel(m_labelsPanel, "Labels Panel\tCtrl + Shift + L", Qt::Key_L);
    m_measurementsPanel = new CMeasurementsPanel(*m_viewer, this);
    AddPanel(m_measurementsPanel, "Measurements Panel\tCtrl + Shift + M", Qt::Key_M);
}

void CMainFrame::AddPanel(QDockWidget* panel, const char* menuText, Qt::Key key) {
    addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    QAction* toggle = panel->toggleViewAction();
    toggle->setText(menuText);
    toggle->setShortcut(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | key));
    toggle->setShortcutContext(Qt::WindowShortcut);
    toggle->setShortcutVisibleInContextMenu(false);
    // Beside the Curves item, in the Display menu.
    for (QAction* menu : menuBar()->actions())
        if (menu->menu() != nullptr && menu->text() == "&Display") menu->menu()->addAction(toggle);
    addAction(toggle);
}

void CMainFrame::ToggleCurves() { m_curves->setVisible(m_curves->isHidden()); }

bool CMainFrame::CurvesShown() const { return !m_curves->isHidden(); }

bool CMainFrame::IsShowingLoadProgress() const { return m_loadProgress != nullptr && m_loadProgress->isVisible(); }

void CMainFrame::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    m_view->setFocus();
}

void CMainFrame::wheelEvent(QWheelEvent* event) {
    m_viewer->Navigation().OnMouseWheel(event->angleDelta().y());
    event->accept();
}

void CMainFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        m_viewer->Navigation().OnLeftButtonDown(at.x(), at.y());
    }
    QMainWindow::mousePressEvent(event);
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_viewer->Navigation().OnLeftButtonUp();
    QMainWindow::mouseReleaseEvent(event);
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    m_viewer->Navigation().OnMouseMove(at.x(), at.y(), modifiers & Qt::ControlModifier, modifiers & Qt::ShiftModifier);
    QMainWindow::mouseMoveEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    // Shift makes the dropped file a label image.
    m_viewer->OnDropFiles(paths, event->modifiers().testFlag(Qt::ShiftModifier));
}
