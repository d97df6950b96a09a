#include "QtDialogService.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QRegularExpression>

#include "ChoiceTableDialog.h"

namespace {

// A file dialog for `request`, with a check box for each of `options`, whose
// states they give and take.
QString RunFileDialog(QWidget* parent, const CDialogService::FileRequest& request, QFileDialog::AcceptMode mode,
                      std::vector<CDialogService::SaveOption>* options = nullptr) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Filters separated by ";;" are offered one by one.
    dialog.setNameFilters(QString::fromStdString(request.filter).split(";;"));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    // A name typed without extension takes that of the filter chosen, when
    // it names one.
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString& filter) {
            const QRegularExpressionMatch one = QRegularExpression(R"(\(\*\.(\w+)\)$)").match(filter);
            dialog.setDefaultSuffix(one.hasMatch() ? one.captured(1)
                                                   : QString::fromStdString(request.defaultExtension));
        });
    std::vector<QCheckBox*> boxes;
    if (options != nullptr && !options->empty()) {
        // Qt's own dialog takes more widgets below its grid; the desktop's
        // native one would not.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            for (const CDialogService::SaveOption& option : *options) {
                auto* box = new QCheckBox(QString::fromStdString(option.label), &dialog);
                box->setChecked(option.checked);
                grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
                boxes.push_back(box);
            }
        }
    }
    if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    for (size_t i = 0; i < boxes.size(); ++i) (*options)[i].checked = boxes[i]->isChecked();
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

CDialogService::EUnsavedAnswer CQtDialogService::AskSaveChanges(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, "Orvanta", QString::fromStdString(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Save: return EUnsavedAnswer::kSave;
        case QMessageBox::Discard: return EUnsavedAnswer::kDiscard;
        default: return EUnsavedAnswer::kCancel;
    }
}

std::string CQtDialogService::AskOpenFileName(const FileRequest& request) {
    return RunFileDialog(m_parent, request, QFileDialog::AcceptOpen).toStdString();
}

std::string CQtDialogService::AskSaveFileName(const FileRequest& request) {
    return RunFileDialog(m_parent, request, QFileDialog::AcceptSave).toStdString();
}

std::string CQtDialogService::AskSaveFileNameWithOptions(const FileRequest& request,
                                                         std::vector<SaveOption>& options) {
    return RunFileDialog(m_parent, request, QFileDialog::AcceptSave, &options).toStdString();
}

std::string CQtDialogService::AskFolderName(const std::string& caption) {
    return QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(caption)).toStdString();
}

int CQtDialogService::AskChoice(const CChoiceTable& table) {
    CChoiceTableDialog dialog(table, m_parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : -1;
}
