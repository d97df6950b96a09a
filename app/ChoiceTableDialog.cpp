#include "ChoiceTableDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

CChoiceTableDialog::CChoiceTableDialog(const CChoiceTable& table, QWidget* parent)
    : QDialog(parent),
      m_choices(table),
      m_table(
          new QTableWidget(static_cast<int>(table.rows.size()), static_cast<int>(table.columns.size()) + 1)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)),
      m_pictureTimer(new QTimer(this)) {
    setWindowTitle(QString::fromStdString(table.caption));
    auto* question = new QLabel(QString::fromStdString(table.question));
    question->setWordWrap(true);

    QStringList headers{""};
    for (const std::string& column : table.columns) headers.append(QString::fromStdString(column));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setIconSize(QSize(CChoiceTable::kPictureSide, CChoiceTable::kPictureSide));
    m_table->verticalHeader()->setDefaultSectionSize(CChoiceTable::kPictureSide + 4);
    const QColor greyed = palette().color(QPalette::Disabled, QPalette::Text);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const CChoiceTable::Row& entry = table.rows[static_cast<size_t>(row)];
        const bool choosable = table.Choosable(row);
        for (int column = 0; column < m_table->columnCount(); ++column) {
            const size_t cell = static_cast<size_t>(column - 1);
            auto* item = new QTableWidgetItem(column > 0 && cell < entry.cells.size()
                                                  ? QString::fromStdString(entry.cells[cell])
                                                  : QString());
            if (!choosable) {
                // Shown with the reason, but neither selectable nor enabled.
                item->setFlags(Qt::NoItemFlags);
                item->setForeground(greyed);
                item->setToolTip(QString::fromStdString("Cannot be loaded: " + entry.refusal));
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            m_table->setItem(row, column, item);
        }
    }
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(0, CChoiceTable::kPictureSide + 8);
    if (table.Choosable(table.proposed)) m_table->selectRow(table.proposed);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addWidget(m_table);
    layout->addWidget(m_buttons);
    resize(860, 420);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CChoiceTableDialog::UpdateButtons);
    // Double-click or Enter on a row takes it; refused rows send neither.
    connect(m_table, &QTableWidget::activated, this, [this](const QModelIndex& index) {
        if (m_choices.Choosable(index.row())) accept();
    });
    UpdateButtons();

    // One picture per turn of the event loop, so the dialog stays responsive
    // while the images are decoded.
    if (table.picture) {
        connect(m_pictureTimer, &QTimer::timeout, this, [this] {
            if (!MakeNextPicture()) m_pictureTimer->stop();
        });
        m_pictureTimer->start(0);
    }
}

int CChoiceTableDialog::Chosen() const {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty()) return -1;
    const int row = selected.front()->row();
    return m_choices.Choosable(row) ? row : -1;
}

bool CChoiceTableDialog::MakeNextPicture() {
    if (!m_choices.picture) return false;
    while (m_nextPicture < m_table->rowCount()) {
        const int row = m_nextPicture++;
        if (!m_choices.Choosable(row)) continue;
        CChoiceTable::Picture picture;
        if (m_choices.picture(row, picture) && picture.width > 0 && picture.height > 0 &&
            picture.grey.size() == static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
            const QImage image(picture.grey.data(), picture.width, picture.height, picture.width,
                               QImage::Format_Grayscale8);
            m_table->item(row, 0)->setIcon(QIcon(QPixmap::fromImage(image.copy())));
        }
        return true;
    }
    return false;
}

int CChoiceTableDialog::PicturesMade() const {
    int made = 0;
    for (int row = 0; row < m_table->rowCount(); ++row)
        made += m_table->item(row, 0)->icon().isNull() ? 0 : 1;
    return made;
}

void CChoiceTableDialog::UpdateButtons() {
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(Chosen() >= 0);
}
