#include "LabelsPanel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <string>
#include <vector>

#include "LabelTable.h"
#include "NoticeListener.h"
#include "Viewer.h"

namespace {

// The label value a row stands for, kept on its value cell.
constexpr int kValueRole = Qt::UserRole;

// The file values a range may span, and how finely: enough for CT numbers,
// MR intensities and float images of small values alike.
constexpr double kLargestValue = 1e12;
constexpr int kValueDecimals = 3;

QString VolumeText(double ml) {
    // Small labels of small voxels would read 0.00 with two decimals.
    return QString::number(ml, 'f', ml != 0.0 && std::abs(ml) < 1.0 ? 4 : 2);
}

QTableWidgetItem* CellOf(QTableWidget& table, int row, int column) {
    QTableWidgetItem* item = table.item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        table.setItem(row, column, item);
    }
    return item;
}

}  // namespace

CLabelsPanel::CLabelsPanel(CViewer& viewer, CLabelEditSettings& settings, QWidget* parent)
    : QDockWidget("Labels", parent),
      m_viewer(viewer),
      m_settings(settings),
      m_table(new QTableWidget(0, kColumns)),
      m_add(new QPushButton("Add Label")),
      m_brushRadius(new QDoubleSpinBox),
      m_brushShape(new QComboBox),
      m_fillReach(new QComboBox),
      m_drawOver(new QComboBox),
      m_overValue(new QSpinBox),
      m_useRange(new QCheckBox("Only voxels with values from")),
      m_low(new QDoubleSpinBox),
      m_high(new QDoubleSpinBox),
      m_scope(new QComboBox),
      m_interpolationAxis(new QComboBox),
      m_keepFrame(new QCheckBox("Keep this frame when labels are carried over time")),
      m_chooseColour(
          [this](const QColor& current) { return QColorDialog::getColor(current, this, "Label Colour"); }) {
    setObjectName("labels");
    m_table->setHorizontalHeaderLabels({"Value", "Name", "Colour", "Shown", "Voxels", "Volume (mL)"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    m_table->setMinimumWidth(360);

    auto* layout = new QVBoxLayout;
    layout->addWidget(m_table, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(BuildOptions());
    auto* content = new QWidget;
    content->setLayout(layout);
    setWidget(content);

    connect(m_table, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { OnItemChanged(item); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { OnCellDoubleClicked(row, column); });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] {
        const QList<QTableWidgetItem*> selected = m_table->selectedItems();
        if (selected.isEmpty()) return;
        const QTableWidgetItem* value = m_table->item(selected.front()->row(), kValueColumn);
        if (value != nullptr) ChooseLabel(value->data(kValueRole).toLongLong());
    });
    connect(m_add, &QPushButton::clicked, this, [this] { AddLabel(); });
    new CNoticeListener(viewer.Notices(), this, [this](unsigned changes) { Follow(changes); });
    ShowSettings();
}

QWidget* CLabelsPanel::BuildOptions() {
    m_brushRadius->setRange(0.1, 100.0);
    m_brushRadius->setDecimals(1);
    m_brushRadius->setSingleStep(0.5);
    m_brushRadius->setSuffix(" mm");
    m_brushShape->addItems({"2-D (a disc in the plane)", "3-D (a ball across slices)"});
    m_fillReach->addItems({"In plane", "In 3-D"});
    m_drawOver->addItems({"All", "Background only", "Label:"});
    m_overValue->setRange(0, static_cast<int>(CLabelImage::kMaxValue));
    for (QDoubleSpinBox* box : {m_low, m_high}) {
        box->setRange(-kLargestValue, kLargestValue);
        box->setDecimals(kValueDecimals);
    }
    m_scope->addItems({"This frame", "Every frame"});
    // In the file's voxel axes, as the status bar counts voxels.
    m_interpolationAxis->addItems({"Across columns (i)", "Across rows (j)", "Across slices (k)"});

    auto* over = new QHBoxLayout;
    over->addWidget(m_drawOver, 1);
    over->addWidget(m_overValue);
    auto* range = new QHBoxLayout;
    range->addWidget(m_useRange);
    range->addWidget(m_low, 1);
    range->addWidget(new QLabel("to"));
    range->addWidget(m_high, 1);
    auto* form = new QFormLayout;
    form->addRow("Brush radius", m_brushRadius);
    form->addRow("Brush", m_brushShape);
    form->addRow("Fill", m_fillReach);
    form->addRow("Draw over", over);
    form->addRow(range);
    form->addRow("Frames", m_scope);
    form->addRow("Interpolate", m_interpolationAxis);
    form->addRow(m_keepFrame);
    auto* options = new QWidget;
    options->setLayout(form);

    const auto take = [this] { TakeOptions(); };
    connect(m_brushRadius, &QDoubleSpinBox::valueChanged, this, take);
    connect(m_brushShape, &QComboBox::currentIndexChanged, this, take);
    connect(m_fillReach, &QComboBox::currentIndexChanged, this, take);
    connect(m_drawOver, &QComboBox::currentIndexChanged, this, take);
    connect(m_overValue, &QSpinBox::valueChanged, this, take);
    connect(m_low, &QDoubleSpinBox::valueChanged, this, take);
    connect(m_high, &QDoubleSpinBox::valueChanged, this, take);
    connect(m_scope, &QComboBox::currentIndexChanged, this, take);
    connect(m_interpolationAxis, &QComboBox::currentIndexChanged, this, take);
    connect(m_keepFrame, &QCheckBox::toggled, this, [this](bool keep) {
        const int frame = m_viewer.Navigation().DisplayFrame();
        if (frame < 0) return;
        std::vector<bool>& kept = m_settings.keepFrames;
        if (kept.size() <= static_cast<size_t>(frame)) kept.resize(static_cast<size_t>(frame) + 1, false);
        kept[static_cast<size_t>(frame)] = keep;
    });
    connect(m_useRange, &QCheckBox::toggled, this, [this](bool on) {
        // A range starts as the window the planes are shown through: the
        // values the user sees from black to white.
        if (on && m_viewer.Volume().SizeX() > 0) {
            const CDisplayWindow window = m_viewer.Volume().Window();
            const QSignalBlocker lowQuiet(m_low), highQuiet(m_high);
            m_low->setValue(window.center - window.width / 2);
            m_high->setValue(window.center + window.width / 2);
        }
        TakeOptions();
    });
    return options;
}

void CLabelsPanel::TakeOptions() {
    m_settings.brushRadiusMm = m_brushRadius->value();
    m_settings.brushBall = m_brushShape->currentIndex() == 1;
    m_settings.fillIn3d = m_fillReach->currentIndex() == 1;
    CLabelEditOptions& options = m_settings.options;
    const int over = m_drawOver->currentIndex();
    options.drawOver = over == 1 ? EDrawOver::kBackground : over == 2 ? EDrawOver::kLabel : EDrawOver::kAll;
    options.overValue = m_overValue->value();
    options.useRange = m_useRange->isChecked();
    options.low = m_low->value();
    options.high = m_high->value();
    options.scope = m_scope->currentIndex() == 1 ? EEditScope::kEveryFrame : EEditScope::kThisFrame;
    m_settings.interpolationAxis = m_interpolationAxis->currentIndex();
    m_overValue->setEnabled(options.drawOver == EDrawOver::kLabel);
    m_low->setEnabled(options.useRange);
    m_high->setEnabled(options.useRange);
}

void CLabelsPanel::ShowSettings() {
    {
        const CLabelEditOptions& options = m_settings.options;
        const QSignalBlocker quiet[] = {
            QSignalBlocker(m_brushRadius), QSignalBlocker(m_brushShape), QSignalBlocker(m_fillReach),
            QSignalBlocker(m_drawOver),    QSignalBlocker(m_overValue),  QSignalBlocker(m_useRange),
            QSignalBlocker(m_low),         QSignalBlocker(m_high),       QSignalBlocker(m_scope),
            QSignalBlocker(m_interpolationAxis), QSignalBlocker(m_keepFrame)};
        m_brushRadius->setValue(m_settings.brushRadiusMm);
        m_brushShape->setCurrentIndex(m_settings.brushBall ? 1 : 0);
        m_fillReach->setCurrentIndex(m_settings.fillIn3d ? 1 : 0);
        m_drawOver->setCurrentIndex(options.drawOver == EDrawOver::kBackground ? 1
                                    : options.drawOver == EDrawOver::kLabel    ? 2
                                                                               : 0);
        m_overValue->setValue(static_cast<int>(options.overValue));
        m_useRange->setChecked(options.useRange);
        m_low->setValue(options.low);
        m_high->setValue(options.high);
        m_scope->setCurrentIndex(options.scope == EEditScope::kEveryFrame ? 1 : 0);
        m_interpolationAxis->setCurrentIndex(m_settings.interpolationAxis);
        m_keepFrame->setChecked(m_settings.Kept(m_viewer.Navigation().DisplayFrame()));
        m_overValue->setEnabled(options.drawOver == EDrawOver::kLabel);
        m_low->setEnabled(options.useRange);
        m_high->setEnabled(options.useRange);
    }
    const QSignalBlocker quiet(m_table);
    const int row = RowOf(m_settings.activeLabel);
    if (row < 0)
        m_table->clearSelection();
    else
        m_table->selectRow(row);
}

int CLabelsPanel::RowOf(int64_t value) const {
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem* item = m_table->item(row, kValueColumn);
        if (item != nullptr && item->data(kValueRole).toLongLong() == value) return row;
    }
    return -1;
}

void CLabelsPanel::FillRows() {
    const CLabelLayer& layer = m_viewer.Labels();
    const CViewerState& state = m_viewer.State();
    const std::vector<CLabelTable::CRow> rows = layer.Table().Rows(
        layer.Image(), layer.Frame(), {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ});
    const QSignalBlocker quiet(m_table);
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const CLabelTable::CRow& label = rows[static_cast<size_t>(row)];
        QTableWidgetItem* value = CellOf(*m_table, row, kValueColumn);
        value->setData(kValueRole, QVariant::fromValue<qlonglong>(label.value));
        value->setText(QString::number(label.value));
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QTableWidgetItem* name = CellOf(*m_table, row, kNameColumn);
        // Set only when it differs, so a refresh leaves the cell being edited alone.
        if (name->text() != QString::fromStdString(label.name))
            name->setText(QString::fromStdString(label.name));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        QTableWidgetItem* colour = CellOf(*m_table, row, kColourColumn);
        colour->setBackground(QColor(label.colour[0], label.colour[1], label.colour[2]));
        colour->setToolTip("Double-click to choose the label's colour");
        colour->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QTableWidgetItem* shown = CellOf(*m_table, row, kShownColumn);
        shown->setCheckState(label.shown ? Qt::Checked : Qt::Unchecked);
        shown->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        QTableWidgetItem* voxels = CellOf(*m_table, row, kVoxelsColumn);
        voxels->setText(QString::number(label.voxels));
        voxels->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        voxels->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QTableWidgetItem* volume = CellOf(*m_table, row, kVolumeColumn);
        volume->setText(VolumeText(label.volumeMl));
        volume->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        volume->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void CLabelsPanel::Follow(unsigned changes) {
    m_pending |= changes;
    if (isHidden()) return;
    constexpr unsigned kRows =
        kChangeVolume | kChangeLabels | kChangeFrame | kChangeCalibration | kChangeLabelLook;
    if ((m_pending & kRows) != 0) FillRows();
    m_pending = 0;
    m_add->setEnabled(m_viewer.Volume().SizeX() > 0 || !m_viewer.Labels().Empty());
    ShowSettings();
}

void CLabelsPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    // Shown by the menu or by its own title bar: either way it catches up.
    Follow(0);
}

void CLabelsPanel::OnItemChanged(QTableWidgetItem* item) {
    const QTableWidgetItem* valueItem = m_table->item(item->row(), kValueColumn);
    if (valueItem == nullptr) return;
    const int64_t value = valueItem->data(kValueRole).toLongLong();
    if (item->column() == kNameColumn) {
        if (!Rename(value, item->text())) {
            const QSignalBlocker quiet(m_table);
            item->setText(QString::fromStdString(m_viewer.Labels().Table().Name(value)));
        }
    } else if (item->column() == kShownColumn) {
        SetShown(value, item->checkState() == Qt::Checked);
    }
}

void CLabelsPanel::OnCellDoubleClicked(int row, int column) {
    const QTableWidgetItem* valueItem = m_table->item(row, kValueColumn);
    if (column != kColourColumn || valueItem == nullptr) return;
    const int64_t value = valueItem->data(kValueRole).toLongLong();
    const CLabelTable::Rgb rgb = m_viewer.Labels().Table().Colour(value);
    const QColor chosen = m_chooseColour(QColor(rgb[0], rgb[1], rgb[2]));
    if (chosen.isValid()) Recolour(value, chosen);
}

bool CLabelsPanel::Rename(int64_t value, const QString& name) {
    CLabelTable& table = m_viewer.Labels().Table();
    const std::string text = name.toStdString();
    if (text == table.Name(value)) return true;
    std::string error;
    if (!table.Rename(value, text, error)) {
        m_viewer.Host().Dialogs().ShowMessage("Label Name", error, CDialogService::Icon::kWarning);
        return false;
    }
    m_viewer.Notices().Announce(kChangeLabelLook);
    return true;
}

void CLabelsPanel::Recolour(int64_t value, const QColor& colour) {
    if (!colour.isValid()) return;
    const CLabelTable::Rgb rgb = {static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                                  static_cast<uint8_t>(colour.blue())};
    if (m_viewer.Labels().Table().Recolour(value, rgb)) m_viewer.Notices().Announce(kChangeLabelLook);
}

void CLabelsPanel::SetShown(int64_t value, bool shown) {
    if (m_viewer.Labels().Table().SetShown(value, shown)) m_viewer.Notices().Announce(kChangeLabelLook);
}

void CLabelsPanel::ChooseLabel(int64_t value) {
    m_settings.activeLabel = value;
    ShowSettings();
}

int64_t CLabelsPanel::AddLabel() {
    CLabelTable& table = m_viewer.Labels().Table();
    const int64_t value = table.NextFreeValue(m_viewer.Labels().Image());
    if (value < 0 || !table.Add(value)) {
        m_viewer.Host().Dialogs().ShowMessage("Add Label",
                                              "Every label value from 1 to 65535 is taken already.",
                                              CDialogService::Icon::kWarning);
        return -1;
    }
    m_settings.activeLabel = value;
    m_viewer.Notices().Announce(kChangeLabelLook);
    // A hidden panel shows the new row when it is shown.
    ShowSettings();
    return value;
}
