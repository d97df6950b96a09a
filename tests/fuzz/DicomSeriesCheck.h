#pragma once

#include "DicomFolder.h"
#include "DicomSeriesLayout.h"
#include "TimeVolume.h"

class CDicomCodec;

// Sorts a series and loads it as the viewer does, with the viewer's size
// check, and checks what every sort and load promises: a series that cannot
// be sorted or loaded says why and leaves the volume empty; one that loads has
// the sizes its sorting gave. True when it loaded. `inProcessCodec` as for
// CDicomSource.
bool LoadSeriesChecked(CDicomFolder::Series& series, const CDicomCodec* inProcessCodec,
                       CDicomSeriesLayout& layout, CTimeVolume& volume);
