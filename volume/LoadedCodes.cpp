#include "LoadedCodes.h"

CLoadedCodes::CLoadedCodes(int32_t sizeZ, int32_t frames, std::vector<CSliceValues> slices,
                           std::shared_ptr<const void> lent, std::shared_ptr<const CFileMapping> file,
                           std::unique_ptr<CVoxelBuffer> buffer,
                           std::unique_ptr<double[]> valueOfCode, std::unique_ptr<uint8_t[]> codePresent,
                           CDisplayMapping display)
    : m_sizeZ(sizeZ),
      m_frames(frames),
      m_slices(std::move(slices)),
      m_lent(std::move(lent)),
      m_file(std::move(file)),
      m_buffer(std::move(buffer)),
      m_valueOfCode(std::move(valueOfCode)),
      m_codePresent(std::move(codePresent)),
      m_display(std::move(display)) {
    for (CSliceValues& slice : m_slices) {
        slice.greyOfCode = &m_display.Table();
        // Grey levels come with tables of their own, shared by every such load.
        if (m_valueOfCode) slice.valueOfCode = m_valueOfCode.get();
        if (m_codePresent) slice.codePresent = m_codePresent.get();
    }
}
