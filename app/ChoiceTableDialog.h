#pragma once

#include <QDialog>

#include "ChoiceTable.h"

class QDialogButtonBox;
class QTableWidget;
class QTimer;

// Asks for one row of a choice table (a DICOM folder's series): the rows in a
// table with a small picture in the first column, the proposed row selected.
// Rows that cannot be chosen are greyed, say why, and cannot be selected.
// The pictures are made one at a time after the dialog is shown, so it opens
// at once and fills them in as they come. Double-click or Enter takes the
// selected row.
class CChoiceTableDialog : public QDialog {
    Q_OBJECT

public:
    // `table` must outlive the dialog.
    explicit CChoiceTableDialog(const CChoiceTable& table, QWidget* parent = nullptr);

    // The row chosen (the table's index); -1 when none is selected.
    int Chosen() const;
    // The table widget and the pictures made so far: for tests.
    QTableWidget* Table() const { return m_table; }
    int PicturesMade() const;
    // Makes the next row's picture; false when every row has had its turn.
    bool MakeNextPicture();

private:
    const CChoiceTable& m_choices;
    QTableWidget* m_table;
    QDialogButtonBox* m_buttons;
    QTimer* m_pictureTimer;
    int m_nextPicture = 0;

    void UpdateButtons();
};
