// The table a DICOM folder's series are chosen from.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTimer>
#include <vector>

#include "ChoiceTableDialog.h"
#include "QtDialogService.h"

namespace {

// Three series, the middle one refused; `calls` hears which pictures are made.
CChoiceTable ThreeSeries(std::vector<int>* calls) {
    CChoiceTable table;
    table.caption = "Open DICOM Folder";
    table.question = "study holds several series. Which one?";
    table.columns = {"No.", "Description", "Type", "Rows x columns", "Images", "Slices x frames"};
    table.rows = {{{"2", "cine", "magnitude", "208 x 256", "100", "4 x 25"}, ""},
                  {{"5", "colour map", "", "4 x 5", "4", "cannot be loaded: colour"}, "colour"},
                  {{"7", "cine", "phase", "208 x 256", "200", "8 x 25"}, ""}};
    table.proposed = 2;
    table.picture = [calls](int row, CChoiceTable::Picture& picture) {
        calls->push_back(row);
        if (row != 0) return false;
        picture = {2, 1, {0, 255}};
        return true;
    };
    return table;
}

// The proposed row starts selected, a refused one can be neither selected
// nor taken, the pictures come in after the dialog shows, and Enter takes
// the selected row.
TEST(ChoiceTableDialog, RefusedRowsCannotBeChosenAndPicturesArrive) {
    std::vector<int> calls;
    const CChoiceTable table = ThreeSeries(&calls);
    CChoiceTableDialog dialog(table);
    QTableWidget& widget = *dialog.Table();
    ASSERT_EQ(widget.rowCount(), 3);
    EXPECT_EQ(widget.item(2, 3)->text(), "phase");
    EXPECT_EQ(dialog.Chosen(), 2);
    EXPECT_TRUE(calls.empty());  // nothing is decoded before the dialog runs

    EXPECT_EQ(widget.item(1, 1)->flags(), Qt::NoItemFlags);
    EXPECT_TRUE(widget.item(1, 6)->toolTip().contains("colour"));
    widget.selectRow(1);
    EXPECT_NE(dialog.Chosen(), 1);

    for (int turn = 0; turn < 10 && calls.size() < 2; ++turn) QCoreApplication::processEvents();
    EXPECT_EQ(calls, (std::vector<int>{0, 2}));  // the refused row is not decoded
    EXPECT_EQ(dialog.PicturesMade(), 1);
    EXPECT_FALSE(widget.item(0, 0)->icon().isNull());
    EXPECT_TRUE(widget.item(2, 0)->icon().isNull());
    EXPECT_FALSE(dialog.MakeNextPicture());

    widget.selectRow(0);
    widget.setCurrentCell(0, 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&widget, &enter);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), 0);
}

// Through the dialog service: a double-click takes its row, Cancel takes none.
TEST(ChoiceTableDialog, DoubleClickChoosesAndCancelDeclines) {
    std::vector<int> calls;
    const CChoiceTable table = ThreeSeries(&calls);
    CQtDialogService dialogs(nullptr);
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "double-click");
        QTimer::singleShot(0, [cancel] {
            auto* dialog = qobject_cast<CChoiceTableDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                ADD_FAILURE() << "no choice dialog";
                return;
            }
            if (cancel) {
                dialog->reject();
                return;
            }
            QTableWidget* widget = dialog->Table();
            const QPoint at = widget->visualItemRect(widget->item(0, 2)).center();
            QMouseEvent press(QEvent::MouseButtonPress, at, widget->viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(widget->viewport(), &press);
            QMouseEvent twice(QEvent::MouseButtonDblClick, at, widget->viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(widget->viewport(), &twice);
        });
        EXPECT_EQ(dialogs.AskChoice(table), cancel ? -1 : 0);
    }
}

}  // namespace
