#include "CurvesPanel.h"

#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "CurvesChart.h"
#include "NoticeListener.h"
#include "TextFormat.h"
#include "Viewer.h"

namespace {

// The combo box's data: a label's value, or a mesh line's name; none for the automatic choice.
constexpr int kLabelRole = Qt::UserRole;
constexpr int kMeshRole = Qt::UserRole + 1;

std::string EjectionLine(const CCurves::Ejection& e) {
    std::string who = e.label > 0 ? "label " + std::to_string(e.label) : e.line + " (mesh)";
    if (e.automatic) who += ", the label whose volume varies most";
    return FormatText("%s: EDV %.2f ml (frame %d), ESV %.2f ml (frame %d), SV %.2f ml, EF %.1f %%",
                      who.c_str(), e.edvMl, e.edFrame, e.esvMl, e.esFrame, e.svMl, e.efPercent);
}

}  // namespace

CCurvesPanel::CCurvesPanel(CViewer& viewer, QWidget* parent)
    : QDockWidget("Curves", parent),
      m_viewer(viewer),
      m_chart(new CCurvesChart),
      m_chartView(new QChartView(m_chart)),
      m_choice(new QComboBox),
      m_ejection(new QLabel),
      m_labelMeans(new QCheckBox("Mean value inside each label")) {
    setObjectName("curves");
    m_chartView->setRenderHint(QPainter::Antialiasing);
    // Narrower, the axes' numbers would be cut short to "...".
    m_chartView->setMinimumSize(400, 200);
    m_chartView->viewport()->installEventFilter(this);
    m_ejection->setWordWrap(true);
    m_ejection->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Ejection of"));
    row->addWidget(m_choice, 1);
    auto* layout = new QVBoxLayout;
    layout->addWidget(m_chartView, 1);
    layout->addWidget(m_labelMeans);
    layout->addLayout(row);
    layout->addWidget(m_ejection);
    auto* content = new QWidget;
    content->setLayout(layout);
    setWidget(content);
    connect(m_labelMeans, &QCheckBox::toggled, this, [this](bool checked) {
        m_curves.ComputeValues(m_viewer, checked);
        m_chart->SetCurves(m_curves);
    });
    new CNoticeListener(viewer.Notices(), this, [this](unsigned changes) { Follow(changes); });
    connect(m_choice, &QComboBox::activated, this, [this] {
        const QVariant label = m_choice->currentData(kLabelRole);
        m_viewer.SetEjectionLabel(label.isValid() ? label.toLongLong() : 0);
        ShowEjection();
    });
}

void CCurvesPanel::Follow(unsigned changes) {
    m_pending |= changes;
    if (isHidden()) return;
    constexpr unsigned kSources = kChangeVolume | kChangeLabels | kChangeMeshes | kChangeCalibration;
    if ((m_pending & kSources) != 0) {
        m_curves.Compute(m_viewer);
        m_chart->SetLabelColours(m_viewer.View().m_labelColours);
        m_chart->SetCurves(m_curves);
        FillChoice();
        ShowEjection();
    } else if ((m_pending & (kChangePosition | kChangeLabelLook | kChangeMeasurements)) != 0) {
        if ((m_pending & kChangePosition) != 0) m_curves.ComputeValues(m_viewer, m_labelMeans->isChecked());
        if ((m_pending & kChangeMeasurements) != 0) m_curves.ComputeMeasurements(m_viewer);
        // A label's new colour redraws its lines; nothing is computed again.
        m_chart->SetLabelColours(m_viewer.View().m_labelColours);
        m_chart->SetCurves(m_curves);
    }
    m_pending = 0;
    if (m_chart->Frame() != m_viewer.State().m_t) m_chart->SetFrame(m_viewer.State().m_t);
}

void CCurvesPanel::FillChoice() {
    const QVariant label = m_choice->currentData(kLabelRole);
    const QVariant mesh = m_choice->currentData(kMeshRole);
    m_choice->clear();
    m_choice->addItem("the label whose volume varies most");
    for (const CCurves::Line& line : m_curves.LabelLines())
        m_choice->addItem(QString("label %1").arg(line.label), QVariant::fromValue<qlonglong>(line.label));
    for (const CCurves::Line& line : m_curves.MeshLines()) {
        m_choice->addItem(QString::fromStdString(line.name) + " (mesh)");
        m_choice->setItemData(m_choice->count() - 1, QString::fromStdString(line.name), kMeshRole);
    }
    const int kept = label.isValid()  ? m_choice->findData(label, kLabelRole)
                     : mesh.isValid() ? m_choice->findData(mesh, kMeshRole)
                                      : 0;
    m_choice->setCurrentIndex(std::max(kept, 0));
    // The viewer's choice may name a label this image lacks: the panel then says why.
    const int64_t asked = m_viewer.State().m_ejectionLabel;
    if (asked != 0 && !mesh.isValid()) {
        const int at = m_choice->findData(QVariant::fromValue<qlonglong>(asked), kLabelRole);
        if (at >= 0) m_choice->setCurrentIndex(at);
    }
}

std::string CCurvesPanel::EjectionText() const {
    std::string error;
    std::optional<CCurves::Ejection> ejection;
    const QVariant mesh = m_choice->currentData(kMeshRole);
    if (mesh.isValid()) {
        for (const CCurves::Line& line : m_curves.MeshLines())
            if (line.name == mesh.toString().toStdString()) ejection = CCurves::Eject(line, error);
    } else {
        ejection = m_curves.LabelEjection(m_viewer.State().m_ejectionLabel, error);
    }
    std::string text = ejection ? EjectionLine(*ejection) : error;
    if (!m_curves.OpenMeshes().empty()) {
        text += "\nOpen meshes, without volume:";
        for (const std::string& name : m_curves.OpenMeshes()) text += " " + name;
    }
    return text;
}

void CCurvesPanel::ShowEjection() {
    m_ejection->setText(QString::fromStdString(EjectionText()));
}

void CCurvesPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    // Shown by the menu or by its own title bar: either way it catches up.
    Follow(0);
}

bool CCurvesPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_chartView->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QPointF scene = m_chartView->mapToScene(mouse->position().toPoint());
            const int frame = m_chart->FrameAt(m_chart->mapFromScene(scene));
            if (frame >= 0) m_viewer.Navigation().SetFrame(frame);
            return true;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}
