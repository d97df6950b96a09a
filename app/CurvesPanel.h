#pragma once

#include <QDockWidget>
#include <string>

#include "Curves.h"

class CCurvesChart;
class CViewer;
class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;

// The Curves dock: the chart of every label's and closed mesh's volume over
// the frames, the value at the position (and, when its box is checked, the
// mean value inside each label) with a line at the frame shown (a click on the chart shows
// that frame), the ejection of the line chosen below it, and which meshes
// are open and so have no volume. It follows the viewer's notices: the
// curves are computed again only when what they come from changed (the
// volume, the labels, the meshes, the pixel sizes or frame time), the values
// are taken again when the position moved, and otherwise only the frame line
// moves. A hidden panel only gathers the notices and catches up when shown.
class CCurvesPanel : public QDockWidget {
public:
    CCurvesPanel(CViewer& viewer, QWidget* parent);

    const CCurves& Curves() const { return m_curves; }
    CCurvesChart& Chart() const { return *m_chart; }
    QChartView& ChartView() const { return *m_chartView; }
    QComboBox& Choice() const { return *m_choice; }
    QCheckBox& LabelMeans() const { return *m_labelMeans; }
    // The ejection figures, or why there are none, and the open meshes.
    std::string EjectionText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Takes `changes` in; brings the panel up to date when it is shown.
    void Follow(unsigned changes);
    // Offers the lines for the ejection, keeping the choice where it still exists.
    void FillChoice();
    void ShowEjection();

    CViewer& m_viewer;
    CCurves m_curves;
    CCurvesChart* m_chart;
    QChartView* m_chartView;
    QComboBox* m_choice;
    QLabel* m_ejection;
    QCheckBox* m_labelMeans;
    // The changes not yet followed: everything, until the panel is first shown.
    unsigned m_pending = ~0u;
};
