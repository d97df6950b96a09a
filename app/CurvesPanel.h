#pragma once

#include <QDockWidget>
#include <array>
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
// are open and so have no volume. It follows the viewer: Follow() after
// every change recomputes the curves only when what they come from changed
// (a load, a label load, the pixel sizes, the frame time, the meshes) and
// otherwise takes the values again when the position moved, and only moves
// the frame line.
class CCurvesPanel : public QDockWidget {
public:
    CCurvesPanel(CViewer& viewer, QWidget* parent);

    void Follow();

    const CCurves& Curves() const { return m_curves; }
    CCurvesChart& Chart() const { return *m_chart; }
    QChartView& ChartView() const { return *m_chartView; }
    QComboBox& Choice() const { return *m_choice; }
    QCheckBox& LabelMeans() const { return *m_labelMeans; }
    // The ejection figures, or why there are none, and the open meshes.
    std::string EjectionText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the curves are computed from, as text: when it changes they are again.
    std::string SourceKey() const;
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
    std::string m_sourceKey;
    std::array<int, 3> m_voxel = {-1, -1, -1};
};
