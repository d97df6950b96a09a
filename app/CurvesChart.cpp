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

CCurvesChart::CCurvesChart() : m_frameAxis(new QValueAxis), m_volumeAxis(new QValueAxis) {
    m_frameAxis->setTitleText("frame");
    m_frameAxis->setLabelFormat("%d");
    m_volumeAxis->setTitleText("volume (ml)");
    addAxis(m_frameAxis, Qt::AlignBottom);
    addAxis(m_volumeAxis, Qt::AlignLeft);
    legend()->setAlignment(Qt::AlignRight);
}

void CCurvesChart::SetCurves(const CCurves& curves) {
    removeAllSeries();
    m_frames = curves.Frames();
    double largest = 0.0;
    const auto add = [&](const CCurves::Line& line, const QColor& colour, bool dashed, const QString& name) {
        auto* series = new QLineSeries;
        series->setName(name);
        QPen pen(colour, 2.0);
        if (dashed) pen.setStyle(Qt::DashLine);
        series->setPen(pen);
        for (size_t frame = 0; frame < line.ml.size(); ++frame) {
            if (std::isnan(line.ml[frame])) continue;
            series->append(static_cast<double>(frame), line.ml[frame]);
            largest = std::max(largest, line.ml[frame]);
        }
        addSeries(series);
        series->attachAxis(m_frameAxis);
        series->attachAxis(m_volumeAxis);
    };
    for (const CCurves::Line& line : curves.LabelLines())
        add(line, LabelColour(line.label), false, QString("label %1").arg(line.label));
    // Meshes that are not label surfaces take greys, darker first.
    int other = 0;
    for (const CCurves::Line& line : curves.MeshLines()) {
        const int64_t label = CLabelPalette::LabelOfObject(line.name);
        const QColor colour =
            label > 0 ? LabelColour(label) : QColor::fromHsv(0, 0, std::min(40 + 50 * other++, 200));
        add(line, colour, true, QString::fromStdString(line.name) + " (mesh)");
    }
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
