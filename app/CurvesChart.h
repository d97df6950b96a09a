#pragma once

#include <QChart>

#include <array>
#include <cstdint>
#include <map>

#include "Curves.h"

class QLineSeries;
class QValueAxis;

// The chart of the Curves panel and of --export-plot: every curve over the
// frames, label volumes solid in their overlay colour, mesh volumes dashed
// (a label's surface in its label's colour), on a second axis the value at
// the position (black), the mean value in each label (dotted, in its
// colour) and each measurement in its unit (dash-dotted, named by its
// column), and a vertical line at the frame shown. Moving that line touches
// two points only, so playback does not redraw the curves. The axes show
// round numbers, as many as fit, and the legend lies below the plot in as
// many rows as its names need, so that a narrow panel still shows every
// number and name whole.
class CCurvesChart : public QChart {
public:
    CCurvesChart();

    // The colours the user gave labels (the view's m_labelColours), taken by
    // the next SetCurves; a label without one keeps its palette colour.
    void SetLabelColours(const std::map<int64_t, std::array<uint8_t, 4>>& colours) {
        m_labelColours = colours;
    }
    // Replaces the curves; the frame line stays where it was.
    void SetCurves(const CCurves& curves);
    // Moves the frame line to `frame`.
    void SetFrame(int frame);
    int Frame() const { return m_frame; }
    // The frame nearest to a point of the chart (its own coordinates),
    // held to the frames there are; -1 without frames.
    int FrameAt(const QPointF& point);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;

private:
    // Sets the legend's rows under the plot and keeps the room they take.
    void PlaceLegend();
    // Spaces the frame axis's ticks so that its numbers fit the plot's width.
    void FitFrameTicks();
    QColor LabelColour(int64_t label) const;

    QValueAxis* m_frameAxis;
    QValueAxis* m_volumeAxis;
    QValueAxis* m_valueAxis;
    QLineSeries* m_marker = nullptr;
    // The margins Qt gave the chart, to which the legend's rows are added.
    QMargins m_margins;
    int m_frames = 0;
    int m_frame = 0;
    std::map<int64_t, std::array<uint8_t, 4>> m_labelColours;
};
