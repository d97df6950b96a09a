#include "CurvesChart.h"

#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "LabelPalette.h"

namespace {

QColor LabelColour(int64_t label) {
    const std::array<uint8_t, 4> rgba = CLabelPalette::Colour(label);
    return QColor(rgba[0], rgba[1], rgba[2]);
}

}  // namespace

CCurvesChart::CCurvesChart()
    : m_frameAxis(new QValueAxis), m_volumeAxis(new QValueAxis), m_valueAxis(new QValueAxis) {
    m_frameAxis->setTitleText("frame");
    m_frameAxis->setLabelFormat("%d");
    m_volumeAxis->setTitleText("volume (ml)");
    addAxis(m_frameAxis, Qt::AlignBottom);
    addAxis(m_volumeAxis, Qt::AlignLeft);
    m_valueAxis->setTitleText("value");
    addAxis(m_valueAxis, Qt::AlignRight);
    legend()->setAlignment(Qt::AlignRight);
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
    // The value axis only where there are values; a flat curve gets a unit of room.
    m_valueAxis->setVisible(lowValue <= highValue);
    if (lowValue <= highValue)
        m_valueAxis->setRange(lowValue, highValue > lowValue ? highValue : lowValue + 1.0);
    m_frameAxis->setRange(0, std::max(1, m_frames - 1));
    // Ticks on whole frames only, about ten of them.
    m_frameAxis->setTickType(QValueAxis::TicksDynamic);
    m_frameAxis->setTickAnchor(0);
    m_frameAxis->setTickInterval(std::max(1, (m_frames + 9) / 10));
    m_volumeAxis->setRange(0, largest > 0 ? largest * 1.05 : 1.0);
    m_marker = new QLineSeries;
    m_marker->setPen(QPen(Qt::black, 1.0));
    addSeries(m_marker);
    m_marker->attachAxis(m_frameAxis);
    m_marker->attachAxis(m_volumeAxis);
    for (QLegendMarker* marker : legend()->markers(m_marker)) marker->setVisible(false);
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
