#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The colour images that travel between the movie class, the AVI export and
// the volume built from movies: pixels of blue, green, red, alpha bytes (the
// order of a 32-bit bitmap and of an OpenGL read-back in BGRA), rows top-down
// and contiguous, so width x height x 4 bytes can be copied in one block from
// the first row's address.

// Pixel formats; RGBA of unsigned bytes is the only one the system creates.
enum EVisPixFmt : int32_t {
    evispixfmtNone = -1,
    evispixfmtGrayByte = 257,
    evispixfmtRGBAByte = 705,
};

template <class T>
struct CVisRGBA {
    T b;
    T g;
    T r;
    T a;
};
static_assert(sizeof(CVisRGBA<unsigned char>) == 4);

// A rectangle (left, top, right, bottom) with a number of bands.
struct CVisShape {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t bands = 1;

    CVisShape() = default;
    CVisShape(int32_t l, int32_t t, int32_t r, int32_t b, int32_t bandCount = 1)
        : left(l), top(t), right(r), bottom(b), bands(bandCount) {}
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const CVisShape&) const = default;
};

class CVisImageBase {
public:
    // An image without memory.
    CVisImageBase(int32_t bytesPerPixel, EVisPixFmt pixelFormat);
    // An image of the shape's size: over `memory` without copying or owning it
    // when given, else with memory of its own. A shape with a negative side
    // gives an image without memory.
    CVisImageBase(int32_t bytesPerPixel, EVisPixFmt pixelFormat, const CVisShape& shape,
                  uint8_t* memory = nullptr);
    virtual ~CVisImageBase() = default;
    CVisImageBase(const CVisImageBase&) = delete;
    CVisImageBase& operator=(const CVisImageBase&) = delete;

    bool HasMemory() const { return m_firstPixel != nullptr; }
    // An image without memory counts as 0 by 0.
    CVisShape Rect() const { return HasMemory() ? m_rect : CVisShape(); }
    int32_t Width() const { return Rect().Width(); }
    int32_t Height() const { return Rect().Height(); }
    // Width in pixels of the memory the rows lie in.
    int32_t MemoryWidth() const { return HasMemory() ? m_memoryWidth : 0; }
    int32_t CbPixel() const { return m_bytesPerPixel; }
    EVisPixFmt PixFmt() const { return m_pixelFormat; }
    uint8_t* PbFirstPixelInRow(int32_t y) const {
        return m_firstPixel + static_cast<size_t>(y) * m_memoryWidth * m_bytesPerPixel;
    }
    size_t ByteCount() const { return static_cast<size_t>(Width()) * Height() * m_bytesPerPixel; }

    // Gives the image its own memory of that shape, unless it already has
    // memory of that size, which it keeps.
    void Allocate(const CVisShape& shape, const CVisShape& memoryShape);
    void Allocate(const CVisShape& shape) { Allocate(shape, shape); }
    // Copies every pixel into `target` with this image's top-left corner at
    // (left, top). False when either has no memory, the pixel sizes differ or
    // the rectangle does not fit.
    bool CopyPixelsTo(CVisImageBase& target, int32_t left = 0, int32_t top = 0) const;

private:
    int32_t m_bytesPerPixel;
    EVisPixFmt m_pixelFormat;
    CVisShape m_rect;
    int32_t m_memoryWidth = 0;
    std::unique_ptr<uint8_t[]> m_ownMemory;
    uint8_t* m_firstPixel = nullptr;
};

template <class TPixel>
class CVisImage : public CVisImageBase {
public:
    static_assert(sizeof(TPixel) == 4, "only RGBA byte images are used");

    CVisImage() : CVisImageBase(sizeof(TPixel), evispixfmtRGBAByte) {}
    explicit CVisImage(const CVisShape& shape, uint8_t* memory = nullptr)
        : CVisImageBase(sizeof(TPixel), evispixfmtRGBAByte, shape, memory) {}

    TPixel& Pixel(int32_t x, int32_t y) const {
        return reinterpret_cast<TPixel*>(PbFirstPixelInRow(y))[x];
    }
};

using CVisRGBAByteImage = CVisImage<CVisRGBA<unsigned char>>;
