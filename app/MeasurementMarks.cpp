#include "MeasurementMarks.h"

#include <cmath>

#include "Curves.h"
#include "TextFormat.h"
#include "Viewer.h"

std::string CMeasurementMarks::ValueText(CMeasurement::Kind kind, double value) {
    if (!std::isfinite(value)) return "-";
    return FormatText("%.1f %s", value, CMeasurement::UnitName(kind));
}

std::vector<CSceneState::CMeasureMark> CMeasurementMarks::Of(const CViewer& viewer) {
    std::vector<CSceneState::CMeasureMark> marks;
    const CMeasurementLayer& layer = viewer.Measurements();
    const CVolumeGrid grid = viewer.Grid();
    if (layer.Empty() || !grid.IsUsable()) return marks;
    const CMeasurementLayer::CVolumeContext context = CCurves::MeasurementContext(viewer);
    const int frame = viewer.Navigation().DisplayFrame();
    for (size_t i = 0; i < layer.Size(); ++i) {
        const CMeasurement& measurement = layer.Items()[i];
        const std::vector<CMeasurement::Point>* placed = measurement.PointsAt(frame);
        if (!layer.Shown(i) || placed == nullptr || placed->empty()) continue;
        std::vector<CMeasurement::Point> points = *placed;
        const double value = measurement.ValueAt(frame, context.labels, context.metric);
        // A ruler that follows a label is drawn between the label's edges it measures.
        if (measurement.Mode() == CMeasurement::TimeMode::FollowsLabel && context.labels != nullptr &&
            points.size() == 2) {
            const int labelFrame = context.labels->Frames() == 1 ? 0 : frame;
            const auto ends =
                Measure::LabelEnds(points[0], points[1], *context.labels, labelFrame, measurement.Label());
            if (ends) points = {(*ends)[0], (*ends)[1]};
        }
        CSceneState::CMeasureMark mark;
        mark.line.closed = measurement.GetKind() == CMeasurement::Kind::Area;
        for (const CMeasurement::Point& p : points) mark.line.points.push_back(grid.SceneOfVoxel(p));
        // The text beside the ruler's far end, the angle's vertex, the outline's first point.
        const size_t anchor = measurement.GetKind() == CMeasurement::Kind::Distance ? points.size() - 1
                              : measurement.GetKind() == CMeasurement::Kind::Angle && points.size() > 1 ? 1
                                                                                                        : 0;
        mark.anchor = mark.line.points[anchor];
        mark.text = measurement.Name() + " " + ValueText(measurement.GetKind(), value);
        marks.push_back(std::move(mark));
    }
    return marks;
}
