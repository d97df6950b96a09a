#include "DicomSeriesCheck.h"

#include <string>

#include "CheckingView.h"
#include "DicomSource.h"
#include "FuzzInput.h"

bool LoadSeriesChecked(CDicomFolder::Series& series, const CDicomCodec* inProcessCodec,
                       CDicomSeriesLayout& layout, CTimeVolume& volume) {
    static const auto sizeCheck = ViewerSizeCheck();
    std::string error;
    if (!series.Layout(layout, error)) {
        FuzzCheck(!error.empty(), "a series that cannot be sorted says why");
        return false;
    }
    FuzzCheck(layout.Slices() > 0 && layout.Frames() > 0, "a sorted series has slices and frames");
    for (const auto& slice : layout.m_slices)
        FuzzCheck(slice.size() == static_cast<size_t>(layout.Frames()), "every slice has the same frames");
    CDicomSource source(layout, inProcessCodec);
    volume.SetSizeCheck(sizeCheck);
    if (!volume.Load(source, 0.98)) {
        FuzzCheck(!volume.LastError().empty(), "a refused load says why");
        FuzzCheck(volume.SizeX() == 0 && volume.SizeZ() == 0, "a refused load leaves the volume empty");
        return false;
    }
    FuzzCheck(volume.SizeX() == layout.Columns() && volume.SizeY() == layout.Rows() &&
                  volume.SizeZ() == layout.Slices() && volume.Frames() == layout.Frames(),
              "the volume has the sorted series' sizes");
    return true;
}
