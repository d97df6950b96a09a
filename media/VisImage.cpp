#include "VisImage.h"

#include <cstring>

CVisImageBase::CVisImageBase(int32_t bytesPerPixel, EVisPixFmt pixelFormat)
    : m_bytesPerPixel(bytesPerPixel), m_pixelFormat(pixelFormat) {}

CVisImageBase::CVisImageBase(int32_t bytesPerPixel, EVisPixFmt pixelFormat, const CVisShape& shape,
                             uint8_t* memory)
    : m_bytesPerPixel(bytesPerPixel), m_pixelFormat(pixelFormat) {
    if (shape.Width() < 0 || shape.Height() < 0) return;
    if (memory == nullptr) {
        Allocate(shape);
        return;
    }
    m_rect = shape;
    m_memoryWidth = shape.Width();
    m_firstPixel = memory;
}

void CVisImageBase::Allocate(const CVisShape& shape, const CVisShape& memoryShape) {
    if (shape.Width() < 0 || shape.Height() < 0) return;
    if (HasMemory() && Width() == shape.Width() && Height() == shape.Height()) {
        m_rect = shape;
        return;
    }
    const int32_t memoryWidth = memoryShape.Width() >= shape.Width() ? memoryShape.Width() : shape.Width();
    // An empty image still gets a block, so that it counts as having memory.
    const size_t bytes = static_cast<size_t>(memoryWidth) * shape.Height() * m_bytesPerPixel;
    m_ownMemory = std::make_unique_for_overwrite<uint8_t[]>(bytes > 0 ? bytes : 1);
    m_firstPixel = m_ownMemory.get();
    m_rect = shape;
    m_memoryWidth = memoryWidth;
}

bool CVisImageBase::CopyPixelsTo(CVisImageBase& target, int32_t left, int32_t top) const {
    if (!HasMemory() || !target.HasMemory() || m_bytesPerPixel != target.m_bytesPerPixel) return false;
    if (left < 0 || top < 0 || static_cast<int64_t>(left) + Width() > target.Width() ||
        static_cast<int64_t>(top) + Height() > target.Height()) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(Width()) * m_bytesPerPixel;
    if (rowBytes == 0) return true;
    for (int32_t y = 0; y < Height(); ++y) {
        uint8_t* to = target.PbFirstPixelInRow(top + y) + static_cast<size_t>(left) * m_bytesPerPixel;
        std::memmove(to, PbFirstPixelInRow(y), rowBytes);
    }
    return true;
}
