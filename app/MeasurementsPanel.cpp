#include "MeasurementsPanel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "Curves.h"
#include "MeasurementEditing.h"
#include "MeasurementMarks.h"
#include "NoticeListener.h"
#include "Viewer.h"

namespace {

// The time column's choices: fixed, per frame, or the label followed.
constexpr qlonglong kFixedChoice = -1;
constexpr qlonglong kPerFrameChoice = -2;

}  // namespace

CMeasurementsPanel::CMeasurementsPanel(CViewer& viewer, QWidget* parent)
    : QDockWidget("Measurements", parent),
      m_viewer(viewer),
      m_table(new QTableWidget(0, kColumns)),
      m_delete(new QPushButton("Delete")) {
    setObjectName("measurements");
    m_table->setHorizontalHeaderLabels({"Name", "Kind", "Value", "Over time", "Shown"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout;
    layout->addWidget(m_table, 1);
    layout->addWidget(m_delete);
    auto* content = new QWidget;
    content->setLayout(layout);
    setWidget(content);
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling) return;
        const auto row = static_cast<size_t>(item->row());
        if (item->column() == kNameColumn)
            Rename(row, item->text());
        else if (item->column() == kShownColumn)
            SetShown(row, item->checkState() == Qt::Checked);
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (m_table->currentRow() >= 0) Delete(static_cast<size_t>(m_table->currentRow()));
    });
    new CNoticeListener(viewer.Notices(), this, [this](unsigned changes) { Follow(changes); });
    Fill();
}

void CMeasurementsPanel::Follow(unsigned changes) {
    m_pending |= changes;
    if (isHidden()) return;
    constexpr unsigned kFollowed =
        kChangeVolume | kChangeLabels | kChangeFrame | kChangeCalibration | kChangeMeasurements;
    if ((m_pending & kFollowed) != 0) Fill();
    m_pending = 0;
}

void CMeasurementsPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    Follow(0);
}

void CMeasurementsPanel::Fill() {
    m_filling = true;
    const CMeasurementLayer& layer = m_viewer.Measurements();
    const CMeasurementLayer::CVolumeContext context = CCurves::MeasurementContext(m_viewer);
    const int frame = m_viewer.Navigation().DisplayFrame();
    const int selected = m_table->currentRow();
    m_table->setRowCount(static_cast<int>(layer.Size()));
    for (size_t i = 0; i < layer.Size(); ++i) {
        const CMeasurement& m = layer.Items()[i];
        const int row = static_cast<int>(i);
        // The items are kept and set anew: an edit of one may be what is being told.
        const std::string value =
            CMeasurementMarks::ValueText(m.GetKind(), m.ValueAt(frame, context.labels, context.metric));
        Cell(row, kNameColumn, Qt::ItemIsEditable).setText(QString::fromStdString(m.Name()));
        Cell(row, kKindColumn, Qt::NoItemFlags).setText(CMeasurement::KindName(m.GetKind()));
        Cell(row, kValueColumn, Qt::NoItemFlags).setText(QString::fromStdString(value));
        Cell(row, kShownColumn, Qt::ItemIsUserCheckable)
            .setCheckState(layer.Shown(i) ? Qt::Checked : Qt::Unchecked);
        // The ways it may follow time; a ruler may follow any label the image holds.
        auto* time = new QComboBox;
        time->addItem("Fixed", kFixedChoice);
        time->addItem("Per frame", kPerFrameChoice);
        if (m.GetKind() == CMeasurement::Kind::Distance && context.labels != nullptr)
            for (size_t v = 1; v < context.labels->Values().size(); ++v)
                time->addItem(QString("Follows label %1").arg(context.labels->Values()[v]),
                              QVariant::fromValue<qlonglong>(context.labels->Values()[v]));
        const qlonglong current = m.Mode() == CMeasurement::TimeMode::Fixed      ? kFixedChoice
                                  : m.Mode() == CMeasurement::TimeMode::PerFrame ? kPerFrameChoice
                                                                                 : m.Label();
        if (time->findData(current) < 0)  // a label the image no longer holds
            time->addItem(QString("Follows label %1").arg(current), current);
        time->setCurrentIndex(time->findData(current));
        connect(time, &QComboBox::activated, this, [this, time, i] {
            const qlonglong choice = time->currentData().toLongLong();
            const bool done = choice == kFixedChoice ? SetTimeMode(i, CMeasurement::TimeMode::Fixed)
                              : choice == kPerFrameChoice
                                  ? SetTimeMode(i, CMeasurement::TimeMode::PerFrame)
                                  : SetTimeMode(i, CMeasurement::TimeMode::FollowsLabel, choice);
            if (!done) Fill();
        });
        m_table->setCellWidget(row, kTimeColumn, time);
    }
    if (selected >= 0 && selected < m_table->rowCount()) m_table->selectRow(selected);
    m_delete->setEnabled(!layer.Empty());
    m_filling = false;
}

QTableWidgetItem& CMeasurementsPanel::Cell(int row, int column, Qt::ItemFlags flags) {
    QTableWidgetItem* item = m_table->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | flags);
        m_table->setItem(row, column, item);
    }
    return *item;
}

bool CMeasurementsPanel::Rename(size_t index, const QString& name) {
    CMeasurementLayer layer = m_viewer.Measurements();
    if (index >= layer.Size()) return false;
    const std::string text = name.trimmed().toStdString();
    std::string refusal;
    if (text.empty())
        refusal = "A measurement needs a name.";
    else if (layer.IndexOf(text) >= 0 && static_cast<size_t>(layer.IndexOf(text)) != index)
        refusal = std::string("Another measurement is called ") + text + ".";
    if (!refusal.empty()) {
        m_viewer.Host().Dialogs().ShowMessage("Rename", refusal, CDialogService::Icon::kWarning);
        Fill();
        return false;
    }
    layer.Rename(index, text);
    m_viewer.MeasurementEditing().Change(layer, "Rename Measurement");
    return true;
}

void CMeasurementsPanel::Delete(size_t index) {
    CMeasurementLayer layer = m_viewer.Measurements();
    if (index >= layer.Size()) return;
    const QString text = QString("Delete %1").arg(QString::fromStdString(layer.Items()[index].Name()));
    layer.Remove(index);
    m_viewer.MeasurementEditing().Change(layer, text);
}

void CMeasurementsPanel::SetShown(size_t index, bool shown) {
    m_viewer.MeasurementEditing().SetShown(index, shown);
}

bool CMeasurementsPanel::SetTimeMode(size_t index, CMeasurement::TimeMode mode, int64_t label) {
    CMeasurementLayer layer = m_viewer.Measurements();
    if (index >= layer.Size()) return false;
    if (mode == CMeasurement::TimeMode::FollowsLabel) {
        const CLabelImage* labels = CCurves::MeasurementContext(m_viewer).labels;
        if (label <= 0 || labels == nullptr || labels->IndexOf(label) < 0) return false;
    }
    if (!layer.Item(index).SetMode(mode, m_viewer.Navigation().DisplayFrame(), label)) return false;
    m_viewer.MeasurementEditing().Change(layer, "Change Measurement Time Mode");
    return true;
}
