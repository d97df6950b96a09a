// Opens the input as a folder of DICOM images, the way the viewer does: the
// input is cut into up to four files, the folder is scanned, and every series
// found (and the stack, when there is one) is sorted and loaded with the
// viewer's size check. A series that cannot be loaded must say why and leave
// the volume empty; one that loads must have the sizes its sorting gave.
//
// The DICOM library reads and decodes in reader processes here, as in the
// viewer: what it does to a damaged file ends only that process, which the
// load reports. Their coverage does not reach the fuzzer, so this target
// mostly checks that the library's failures are contained, and fuzzes the
// reading of plain pixel data at the place the scan found, which happens in
// this process; dicom-series fuzzes what comes after the library here.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "DicomFolder.h"
#include "DicomSeriesCheck.h"
#include "FuzzInput.h"
#include "TimeVolume.h"
#include "ShownPlane.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = ScratchPath("dicom");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::vector<std::string> files = SplitInput(data, size, "--next-file--", 4);
    for (size_t i = 0; i < files.size(); ++i)
        WriteInputFile(folder + "/im" + std::to_string(i), reinterpret_cast<const uint8_t*>(files[i].data()),
                       files[i].size());

    CDicomFolder scan;
    std::string error;
    FuzzCheck(scan.Scan(folder, error), "a readable folder scans");
    FuzzCheck(scan.m_unreadable.size() <= files.size(), "no file is named unreadable twice");
    for (CDicomFolder::Series& series : scan.m_series) {
        CDicomSeriesLayout layout;
        CTimeVolume volume;
        if (!LoadSeriesChecked(series, nullptr, layout, volume)) continue;
        for (int z = 0; z < volume.SizeZ(); ++z)
            for (int t = 0; t < volume.Frames(); ++t) {
                const ShownPlane slice(volume.GetSlice(2, z, t, false));
                Consume(slice.m_data, static_cast<size_t>(slice.ByteCount()));
            }
    }
    return 0;
}
