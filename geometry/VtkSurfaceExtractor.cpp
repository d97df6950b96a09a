// VTK's side of CSurfaceExtractor, built as the orvanta-surface module: only
// this file includes VTK.

#include <vtkCellArray.h>
#include <vtkDiscreteFlyingEdges3D.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkWindowedSincPolyDataFilter.h>

#include <algorithm>

#include "SurfaceExtractor.h"

namespace {

std::vector<double> Coordinates(vtkPoints* points) {
    std::vector<double> coordinates;
    const vtkIdType count = points != nullptr ? points->GetNumberOfPoints() : 0;
    coordinates.resize(static_cast<size_t>(count) * 3);
    for (vtkIdType i = 0; i < count; ++i) points->GetPoint(i, &coordinates[static_cast<size_t>(i) * 3]);
    return coordinates;
}

class CVtkSurfaceExtractor final : public CSurfaceExtractor {
public:
    // Making the first VTK objects on one thread sets up VTK's object
    // factory before any worker thread makes one.
    CVtkSurfaceExtractor() {
        vtkNew<vtkImageData> image;
        vtkNew<vtkDiscreteFlyingEdges3D> edges;
        vtkNew<vtkWindowedSincPolyDataFilter> smoother;
    }

    Surface Extract(const Mask& mask, int smoothingIterations, double passBand) const override {
        vtkNew<vtkImageData> image;
        image->SetDimensions(mask.dims[0], mask.dims[1], mask.dims[2]);
        image->SetSpacing(mask.spacing[0], mask.spacing[1], mask.spacing[2]);
        image->SetOrigin(mask.origin[0], mask.origin[1], mask.origin[2]);
        image->AllocateScalars(VTK_UNSIGNED_CHAR, 1);
        const size_t voxels = static_cast<size_t>(mask.dims[0]) * mask.dims[1] * mask.dims[2];
        std::copy(mask.voxels, mask.voxels + voxels, static_cast<uint8_t*>(image->GetScalarPointer()));

        vtkNew<vtkDiscreteFlyingEdges3D> edges;
        edges->SetInputData(image);
        edges->SetValue(0, 1.0);
        edges->ComputeNormalsOff();
        edges->ComputeGradientsOff();
        edges->ComputeScalarsOff();

        vtkNew<vtkWindowedSincPolyDataFilter> smoother;
        smoother->SetInputConnection(edges->GetOutputPort());
        smoother->SetNumberOfIterations(smoothingIterations);
        smoother->SetPassBand(passBand);
        smoother->NormalizeCoordinatesOn();
        smoother->BoundarySmoothingOff();
        smoother->FeatureEdgeSmoothingOff();
        smoother->NonManifoldSmoothingOn();
        smoother->Update();
        vtkPolyData* smoothed = smoother->GetOutput();

        Surface surface;
        surface.points = Coordinates(smoothed->GetPoints());
        // The filter keeps the points of the extracted surface in their order
        // and only moves them.
        surface.blocky = Coordinates(edges->GetOutput()->GetPoints());
        if (surface.blocky.size() != surface.points.size()) surface.blocky.clear();
        vtkCellArray* polys = smoothed->GetPolys();
        surface.triangles.reserve(static_cast<size_t>(polys->GetNumberOfCells()) * 3);
        vtkIdType count = 0;
        const vtkIdType* ids = nullptr;
        for (polys->InitTraversal(); polys->GetNextCell(count, ids);) {
            if (count != 3) continue;
            for (int corner = 0; corner < 3; ++corner) surface.triangles.push_back(static_cast<int32_t>(ids[corner]));
        }
        return surface;
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CSurfaceExtractor* OrvantaSurfaceExtractor() {
    static const CVtkSurfaceExtractor extractor;
    return &extractor;
}
