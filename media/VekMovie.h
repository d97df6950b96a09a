#pragma once

#include <atomic>
#include <cstdint>

#include "VisImage.h"

struct AVBufferRef;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// Reads the frames of an AVI movie into RGBA images, and writes RGBA images
// as the frames of a new, uncompressed AVI movie (32-bit BI_RGB frames stored
// bottom-up, every frame a key frame). Every failure raises a CVisError whose
// source file is "VekMovie"; the object stays usable and Close (or the
// destructor) releases whatever was obtained.
class CVekMovie {
public:
    // Open modes, in the values of the Windows file-open flags callers pass.
    static constexpr uint32_t kOpenRead = 0x0000;
    static constexpr uint32_t kOpenWrite = 0x0001;
    static constexpr uint32_t kOpenReadWrite = 0x0002;
    static constexpr uint32_t kOpenCreate = 0x1000;

    explicit CVekMovie(int32_t frameRate);
    virtual ~CVekMovie();
    CVekMovie(const CVekMovie&) = delete;
    CVekMovie& operator=(const CVekMovie&) = delete;

    // Reference counting for shared owners; the count starts at 1 and the
    // object deletes itself (so it must have been made with new) at 0.
    virtual int32_t AddRef();
    virtual int32_t Release();

    // Mode 0 opens an existing movie for reading; a mode with kOpenCreate, or
    // a write mode on a path where no file exists, creates a movie to write.
    virtual bool Open(const char* path, uint32_t mode);
    // Reads frame `index` (-1: the next one; past the end: the last one) as an
    // upright picture. An image without memory gets the movie's size.
    virtual bool ReadFrame(CVisRGBAByteImage& image, int32_t index = -1);
    // Appends a frame; index -1 means the next one. The first frame fixes the
    // movie's size, and the frame rate is taken from m_frameRate then.
    virtual bool WriteFrame(const CVisImageBase& image, int32_t index = -1);
    // Finishes a movie being written and releases everything; may be called
    // at any time and repeatedly.
    virtual void Close();

    virtual const char* FileName() const { return m_fileName; }
    virtual uint32_t OpenMode() const { return m_openMode; }
    virtual uint32_t FrameCount() const { return m_frameCount; }
    virtual uint32_t Width() const { return m_width; }
    virtual uint32_t Height() const { return m_height; }
    virtual EVisPixFmt PixelFormat() const { return m_pixelFormat; }
    bool BottomUp() const { return m_bottomUp; }
    uint32_t NextFrame() const { return m_nextFrame; }

    int32_t m_frameRate;

private:
    void OpenForReading();
    void OpenForWriting();
    void BeginWriting(const CVisImageBase& image);
    // Makes m_frame hold frame `index`, decoding forward from the current
    // position when that is the frame before, else after a seek.
    void DecodeFrame(uint32_t index);
    bool DecodeNext();
    void SeekBefore(uint32_t index);
    int64_t FrameIndexOf(int64_t timestamp) const;
    void DeliverFrame(CVisRGBAByteImage& image);

    std::atomic<int32_t> m_refCount{1};
    AVFormatContext* m_file = nullptr;
    AVStream* m_videoStream = nullptr;  // lives inside m_file
    AVCodecContext* m_decoder = nullptr;
    SwsContext* m_scaler = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    char* m_fileName = nullptr;
    uint32_t m_openMode = 0;
    uint32_t m_frameCount = 0;
    uint32_t m_height = 0;
    uint32_t m_width = 0;
    EVisPixFmt m_pixelFormat = evispixfmtNone;
    int32_t m_decodedBytesPerPixel = 0;
    AVBufferRef* m_conversionBuffer = nullptr;
    bool m_formatPending = false;
    uint32_t m_nextFrame = 0;
    bool m_bottomUp = true;

    bool m_writing = false;
    bool m_headerWritten = false;
    // Index of the frame the decoder delivered last; kPositionUnknown after a
    // seek until a frame tells where the decoder stands.
    int64_t m_decodedFrame = -1;
    bool m_demuxerAtEnd = false;
};
