#include "QtDialogService.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QString RunFileDialog(QWidget* parent, const CDialogService::FileRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

void CQtDialogService::ShowMessage(const std::string& caption, const std::string& text, Icon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
        case Icon::kNone: break;
        case Icon::kInformation: qtIcon = QMessageBox::Information; break;
        case Icon::kWarning: qtIcon = QMessageBox::Warning; break;
        case Icon::kError: qtIcon = QMessageBox::Critical; break;
    }
    QMessageBox box(qtIcon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    m_parent);
    box.exec();
}

std::string CQtDialogService::AskOpenFileName(const FileRequest& request) {
    return RunFileDialog(m_parent, request, QFileDialog::AcceptOpen).toStdString();
}

std::string CQtDialogService::AskSaveFileName(const FileRequest& request) {
    return RunFileDialog(m_parent, request, QFileDialog::AcceptSave).toStdString();
}

std::string CQtDialogService::AskFolderName(const std::string& caption) {
    return QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(caption)).toStdString();
}

int CQtDialogService::AskChoice(const std::string& caption, const std::string& text,
                                const std::vector<std::string>& items, int proposed) {
    QStringList list;
    for (const std::string& item : items) list.append(QString::fromStdString(item));
    bool accepted = false;
    const QString chosen = QInputDialog::getItem(m_parent, QString::fromStdString(caption),
                                                 QString::fromStdString(text), list, proposed, false, &accepted);
    return accepted ? static_cast<int>(list.indexOf(chosen)) : -1;
}
