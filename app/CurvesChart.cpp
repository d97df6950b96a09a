#include "CurvesChart.h"

#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "LabelPalette.h"

namespace {

// The smallest of 1, 2, 5, 10, 20, 50... that is at least `least`.
double RoundStepFrom(double least) {
    double step = 1.0;
    while (step * 5 < least) step *= 10;
    for (const double factor : {1.0, 2.0, 5.0})
        if (step * factor >= least) return step * factor;
    return step * 10;
}

// Shows [low, high] widened to round ends a round step apart, about five
// ticks, each label with the decimals its step needs and no more: the
// narrower the labels, the less of a narrow panel the axis takes.
void SetRoundRange(QValueAxis& axis, double low, double high) {
    axis.setRange(low, high);
    // Qt starts from the tick count it chose the last time.
    axis.setTickCount(5);
    axis.applyNiceNumbers();
    const double step = (axis.max() - axis.min()) / std::max(axis.tickCount() - 1, 1);
    const int decimals = step > 0 ? std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9))) : 0;
    axis.setLabelFormat(QString("%.%1f").arg(decimals));
}

}  // namespace

QColor CCurvesChart::LabelColour(int64_t label) const {
    const auto chosen = m_labelColours.find(label);
    const std::array<uint8_t, 4> rgba =
        chosen != m_labelColours.end() ? chosen->second : CLabelPalette::Colour(label);
    return QColor(rgba[0], rgba[1], rgba[2]);
}

CCurvesChart::CCurvesChart()
    : m_frameAxis(new QValueAxis), m_volumeAxis(new QValueAxis), m_valueAxis(new QValueAxis) {
    m_frameAxis->setTitleText("frame");
    m_frameAxis->setLabelFormat("%d");
    m_frameAxis->setTickType(QValueAxis::TicksDynamic);
    m_frameAxis->setTickAnchor(0);
    m_volumeAxis->setTitleText("volume (ml)");
    addAxis(m_frameAxis, Qt::AlignBottom);
    addAxis(m_volumeAxis, Qt::AlignLeft);
    m_valueAxis->setTitleText("value");
    addAxis(m_valueAxis, Qt::AlignRight);
    // Below the plot the legend leaves it the whole width, which a narrow
    // panel needs for the axes' numbers. Held by the chart, Qt keeps it to
    // one row and cuts names short to fit ("la..."); set apart it wraps
    // them onto rows, for which PlaceLegend keeps room.
    legend()->setAlignment(Qt::AlignBottom);
    legend()->detachFromChart();
    m_margins = margins();
    connect(this, &QChart::plotAreaChanged, this, [this] { FitFrameTicks(); });
}

void CCurvesChart::resizeEvent(QGraphicsSceneResizeEvent* event) {
    QChart::resizeEvent(event);
    PlaceLegend();
    // The legend's room, and then the frame ticks that fit the plot, lay the
    // chart out anew. Qt would do it at its next layout request, after an
    // exported plot is drawn (no event loop runs between): done here instead.
    for (int pass = 0; pass < 3 && layout() != nullptr && !layout()->isActivated(); ++pass)
        layout()->activate();
}

void CCurvesChart::PlaceLegend() {
    // Qt wraps a row after an entry when one more of that entry's width
    // would pass the edge, so a wider entry after a narrower one can stick
    // out by the difference: the rows are made that much narrower. Here the
    // rows are counted by the same rule, with the widths reckoned on the
    // wide side (marker, gaps and text margins take under two text heights)
    // so that the rows Qt makes fit in the room kept for them.
    const QFontMetricsF metrics(legend()->font());
    // Every line but the frame line has an entry. (The entries of lines just
    // added are not yet shown, so the lines are counted, not the entries.)
    std::vector<double> widths;
    for (const QAbstractSeries* line : series())
        if (line != m_marker) widths.push_back(metrics.horizontalAdvance(line->name()) + 2 * metrics.height());
    const double side = m_margins.left();
    const double whole = std::max(0.0, size().width() - 2 * side);
    const auto [narrowest, widest] = std::minmax_element(widths.begin(), widths.end());
    // An entry wider than the chart is cut short rather than drawn past its edge.
    const double rowWidth =
        widths.empty() ? whole : std::min(whole, std::max(*widest, whole - (*widest - *narrowest)));
    int rows = widths.empty() ? 0 : 1;
    double x = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        x += widths[i];
        if (x + widths[i] > rowWidth && i + 1 < widths.size()) {
            ++rows;
            x = 0;
        }
    }
    // An entry is as tall as its text with a few pixels of margin about it.
    const double height = rows * (metrics.height() + 10);
    QMargins margins = m_margins;
    margins.setBottom(m_margins.bottom() + static_cast<int>(std::ceil(height)));
    if (margins != this->margins()) setMargins(margins);
    legend()->setGeometry(
        QRectF(side, size().height() - m_margins.bottom() / 2.0 - height, rowWidth, height));
}

void CCurvesChart::FitFrameTicks() {
    // Each frame number gets its own width and a gap of two text heights;
    // ticks stay on whole frames a round number apart.
    const QFontMetricsF metrics(m_frameAxis->labelsFont());
    const int last = std::max(1, m_frames - 1);
    const double room = metrics.horizontalAdvance(QString::number(std::max(last, 10))) + 2 * metrics.height();
    const double fitting = std::floor(plotArea().width() / room);
    const double interval = RoundStepFrom(fitting >= 2 ? last / (fitting - 1) : last);
    if (interval != m_frameAxis->tickInterval()) m_frameAxis->setTickInterval(interval);
}

void CCurvesChart::SetCurves(const CCurves& curves) {
    removeAllSeries();
    m_frames = curves.Frames();
    double largest = 0.0;
    double lowValue = INFINITY, highValue = -INFINITY;
    const auto add = [&](const CCurves::Line& line, const QColor& colour, Qt::PenStyle style,
                         const QString& name, bool value = false) {
        auto* series = new QLineSeries;
        series->setName(name);
        QPen pen(colour, 2.0);
        pen.setStyle(style);
        series->setPen(pen);
        for (size_t frame = 0; frame < line.ml.size(); ++frame) {
            const double y = line.ml[frame];
            if (std::isnan(y)) continue;
            series->append(static_cast<double>(frame), y);
            if (value) {
                lowValue = std::min(lowValue, y);
                highValue = std::max(highValue, y);
            } else {
                largest = std::max(largest, y);
            }
        }
        addSeries(series);
        series->attachAxis(m_frameAxis);
        series->attachAxis(value ? m_valueAxis : m_volumeAxis);
    };
    for (const CCurves::Line& line : curves.LabelLines())
        add(line, LabelColour(line.label), Qt::SolidLine, QString("label %1").arg(line.label));
    // Meshes that are not label surfaces take greys, darker first.
    int other = 0;
    for (const CCurves::Line& line : curves.MeshLines()) {
        const QColor colour = line.surfaceOf > 0 ? LabelColour(line.surfaceOf)
                                                 : QColor::fromHsv(0, 0, std::min(40 + 50 * other++, 200));
        add(line, colour, Qt::DashLine, QString::fromStdString(line.name) + " (mesh)");
    }
    const CCurves::Line& values = curves.ValueLine();
    if (std::any_of(values.ml.begin(), values.ml.end(), [](double v) { return !std::isnan(v); }))
        add(values, Qt::black, Qt::SolidLine, "value at position", true);
    for (const CCurves::Line& line : curves.MeanLines())
        add(line, LabelColour(line.label), Qt::DotLine, QString("mean in label %1").arg(line.label), true);
    // Measurements in their own units (mm, deg, mm2) on the second axis, each in a hue of its own.
    int measure = 0;
    for (const CCurves::Line& line : curves.MeasurementLines())
        add(line, QColor::fromHsv((200 + 67 * measure++) % 360, 220, 200), Qt::DashDotLine,
            QString::fromStdString(line.name), true);
    // The value axis only where there are values; a flat curve gets a unit of room.
    m_valueAxis->setVisible(lowValue <= highValue);
    if (lowValue <= highValue)
        SetRoundRange(*m_valueAxis, lowValue, highValue > lowValue ? highValue : lowValue + 1.0);
    m_frameAxis->setRange(0, std::max(1, m_frames - 1));
    FitFrameTicks();
    SetRoundRange(*m_volumeAxis, 0, largest > 0 ? largest : 1.0);
    m_marker = new QLineSeries;
    m_marker->setPen(QPen(Qt::black, 1.0));
    addSeries(m_marker);
    m_marker->attachAxis(m_frameAxis);
    m_marker->attachAxis(m_volumeAxis);
    for (QLegendMarker* marker : legend()->markers(m_marker)) marker->setVisible(false);
    PlaceLegend();
    SetFrame(m_frame);
}

void CCurvesChart::SetFrame(int frame) {
    m_frame = frame;
    if (m_marker == nullptr) return;
    const QList<QPointF> line = {QPointF(frame, m_volumeAxis->min()), QPointF(frame, m_volumeAxis->max())};
    m_marker->replace(line);
}

int CCurvesChart::FrameAt(const QPointF& point) {
    if (m_frames <= 0 || m_marker == nullptr) return -1;
    const double frame = mapToValue(point, m_marker).x();
    if (!std::isfinite(frame)) return -1;
    return static_cast<int>(std::lround(std::clamp(frame, 0.0, static_cast<double>(m_frames - 1))));
}
