#pragma once

#include <string>
#include <vector>

#include "ChoiceTable.h"

// Everything modal the application asks of the user: message boxes and file
// dialogs. The window installs the Qt implementation; tests install one that
// records what was asked and answers at once, so no test waits on a window.
class CDialogService {
public:
    enum class Icon { kNone, kInformation, kWarning, kError };

    // What a file dialog offers: a caption-less Qt filter such as
    // "Time volume files (*.tvi)", the default extension added to a name
    // typed without one, and the name proposed at first.
    struct FileRequest {
        std::string filter;
        std::string defaultExtension;
        std::string initialName;
    };

    virtual ~CDialogService() = default;

    // A modal message with an OK button.
    virtual void ShowMessage(const std::string& caption, const std::string& text, Icon icon) = 0;
    // The chosen file, or "" when the user cancelled. Open dialogs accept
    // only existing files; save dialogs ask before replacing one.
    virtual std::string AskOpenFileName(const FileRequest& request) = 0;
    virtual std::string AskSaveFileName(const FileRequest& request) = 0;
    // A check box of a save dialog: its label, and its state, which the
    // dialog starts from and sets to the user's choice.
    struct SaveOption {
        std::string label;
        bool checked = false;
    };
    // A save dialog with a check box below the name for each option, which
    // take the user's choices when a file is chosen. Services that cannot
    // show them ask without.
    virtual std::string AskSaveFileNameWithOptions(const FileRequest& request, std::vector<SaveOption>& options) {
        (void)options;
        return AskSaveFileName(request);
    }
    // Unsaved work that is about to go (`text` names it): keep it by saving,
    // let it go, or stop what was about to happen. Services that cannot ask
    // let it go: nothing is edited where no one can be asked.
    enum class EUnsavedAnswer { kSave, kDiscard, kCancel };
    virtual EUnsavedAnswer AskSaveChanges(const std::string& text) {
        (void)text;
        return EUnsavedAnswer::kDiscard;
    }
    // The chosen existing folder, or "" when the user cancelled.
    virtual std::string AskFolderName(const std::string& caption) = 0;
    // One row of `table`, offered with its proposed row selected: the row's
    // index, or -1 when the user cancelled.
    virtual int AskChoice(const CChoiceTable& table) = 0;
};
