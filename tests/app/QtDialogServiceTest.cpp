// The Qt dialogs behind CDialogService, answered by code while they run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QTimer>

#include "MeshFormat.h"
#include "QtDialogService.h"
#include "TempFolder.h"

// The save dialog with a check box shows the state it is given, hands back
// the user's choice with the name, and gives a name typed without extension
// that of the filter chosen.
TEST(QtDialogService, SaveDialogsCarryTheirCheckBox) {
    TempFolder folder;
    CQtDialogService dialogs(nullptr);
    QString label;
    bool shown = true;
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no file dialog";
            return;
        }
        filters = dialog->nameFilters();
        if (auto* box = dialog->findChild<QCheckBox*>()) {
            label = box->text();
            shown = box->isChecked();
            box->setChecked(true);
        }
        const QString stl = filters.filter("(*.stl)").value(0);
        dialog->selectNameFilter(stl);
        emit dialog->filterSelected(stl);
        dialog->selectFile(QString::fromStdString(folder.File("mesh")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    std::vector<CDialogService::SaveOption> options = {{"Every frame", false}};
    const std::string path =
        dialogs.AskSaveFileNameWithOptions({MeshDialogFilter(), "obj", folder.File("start.obj")}, options);
    EXPECT_EQ(label, "Every frame");
    EXPECT_FALSE(shown);
    EXPECT_TRUE(options[0].checked);
    EXPECT_EQ(filters.size(), 6) << filters.join(";;").toStdString();
    EXPECT_EQ(path, folder.File("mesh.stl"));
}
