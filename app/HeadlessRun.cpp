#include "HeadlessRun.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "Viewer.h"
#include "VolumeFormat.h"
#include "Workspace.h"

namespace {

// Prints the errors collected since `from` and says whether there were any.
bool ReportErrors(CHeadlessDialogs& dialogs, size_t& from) {
    // Notes (what a load left out) are printed but do not fail the run.
    for (const std::string& note : dialogs.m_notes) std::fprintf(stderr, "orvanta: %s\n", note.c_str());
    dialogs.m_notes.clear();
    const bool any = dialogs.m_errors.size() > from;
    for (; from < dialogs.m_errors.size(); ++from) std::fprintf(stderr, "orvanta: %s\n", dialogs.m_errors[from].c_str());
    return any;
}

}  // namespace

int RunHeadless(const CCommandLine& commandLine) {
    // Only drawing needs OpenGL; a view never created draws nothing, and
    // runs that only read (--info, --save-plane) start at once without it.
    // A workspace is read first: it sets the drawing's size, and a cohort
    // script hears of its missing files before anything is drawn.
    int width = commandLine.width, height = commandLine.height;
    if (CWorkspace::IsWorkspaceName(commandLine.file)) {
        CWorkspace workspace;
        std::string error;
        if (!commandLine.ReadWorkspace(workspace, error)) {
            std::fprintf(stderr, "orvanta: %s\n", error.c_str());
            return 1;
        }
        if (const std::string missing = workspace.MissingText(); !missing.empty()) {
            std::fprintf(stderr, "orvanta: %s: %s\n", commandLine.file.c_str(), missing.c_str());
            return 1;
        }
        if (workspace.m_viewSize) {
            width = (*workspace.m_viewSize)[0];
            height = (*workspace.m_viewSize)[1];
        }
    }
    COffscreenView view;
    view.PlanSize(width, height);
    if (commandLine.Draws() && !view.Create(width, height)) {
        std::fprintf(stderr, "orvanta: cannot draw without a display: %s\n", view.ErrorText().c_str());
        return 1;
    }
    CHeadlessHost host;
    CViewer viewer(view, host);
    size_t reported = 0;

    const std::string& file = commandLine.file;
    if (!file.empty() && CViewer::FileKindOf(file) == CViewer::EFileKind::kNone) {
        std::fprintf(stderr, "orvanta: %s: only %s and %s meshes can be loaded\n", file.c_str(),
                     OpenableKindsText().c_str(), MeshExtensionsText().c_str());
        return 2;
    }
    // Standard output carries --info; the readers' diagnostics go to
    // standard error meanwhile.
    std::fflush(stdout);
    const int savedOutput = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    bool failed = false;
    commandLine.OpenFile(viewer);
    // Movies that could not be read are skipped with a warning; a named file must load.
    failed = ReportErrors(host.m_dialogs, reported) && !file.empty();
    for (size_t i = 0; i < commandLine.state.size() && !failed; ++i) {
        CCommandLine::ApplyState(commandLine.state[i], viewer);
        failed = ReportErrors(host.m_dialogs, reported);
    }
    std::fflush(stdout);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedOutput);
    if (failed) return 1;

    for (const CCommandLine::Option& output : commandLine.outputs) {
        const int status = CCommandLine::WriteOutput(output, viewer);
        if (ReportErrors(host.m_dialogs, reported) && status == 0) return 1;
        if (status != 0) return status;
    }
    return 0;
}
