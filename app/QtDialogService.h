#pragma once

#include "DialogService.h"

class QWidget;

// Message boxes and file dialogs of Qt, owned by `parent`.
class CQtDialogService : public CDialogService {
public:
    explicit CQtDialogService(QWidget* parent) : m_parent(parent) {}

    void ShowMessage(const std::string& caption, const std::string& text, Icon icon) override;
    std::string AskOpenFileName(const FileRequest& request) override;
    std::string AskSaveFileName(const FileRequest& request) override;
    std::string AskSaveFileNameWithOptions(const FileRequest& request, std::vector<SaveOption>& options) override;
    std::string AskFolderName(const std::string& caption) override;
    int AskChoice(const CChoiceTable& table) override;
    EUnsavedAnswer AskSaveChanges(const std::string& text) override;

private:
    QWidget* m_parent;
};
