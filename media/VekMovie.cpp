#include "VekMovie.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "FfmpegLibrary.h"
#include "PathUtils.h"
#include "VisError.h"

namespace {

constexpr int64_t kPositionUnknown = INT64_MIN;

// Open loads FFmpeg; everything that runs after it may call through this.
const CFfmpegLibrary& Av() { return CFfmpegLibrary::Get(); }

// The error names the line that raised it. __builtin_LINE() as a default
// argument gives the caller's line with GCC and clang alike; clang 14 cannot
// build std::source_location on GCC 12's library.
[[noreturn]] void Raise(const char* message, int32_t code, int32_t line = __builtin_LINE()) {
    throw CVisError(message, code, "", "VekMovie", line);
}

void RaiseIfFailed(int result, const char* message, int32_t line = __builtin_LINE()) {
    if (result < 0) Raise(message, result, line);
}

bool EndsWithBottomUpMark(const AVCodecParameters* parameters) {
    static const char kMark[] = "BottomUp";
    return parameters->extradata != nullptr && parameters->extradata_size >= static_cast<int>(sizeof kMark) &&
           std::memcmp(parameters->extradata + parameters->extradata_size - sizeof kMark, kMark, sizeof kMark) == 0;
}

// Sources whose pixels carry no alpha of their own; a palette from an AVI
// file has none either, whatever FFmpeg's palette format says.
bool HasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = Av().av_pix_fmt_desc_get(format);
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0 &&
           (descriptor->flags & AV_PIX_FMT_FLAG_PAL) == 0;
}

// Gives every pixel alpha 255 when the source has no alpha, or when it has
// but every alpha byte is 0 (32-bit bitmaps usually leave that byte unused).
void SettleAlpha(CVisRGBAByteImage& image, bool sourceHasAlpha) {
    const int32_t width = image.Width();
    if (sourceHasAlpha) {
        for (int32_t y = 0; y < image.Height(); ++y) {
            const uint8_t* row = image.PbFirstPixelInRow(y);
            for (int32_t x = 0; x < width; ++x) {
                if (row[4 * x + 3] != 0) return;
            }
        }
    }
    for (int32_t y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.PbFirstPixelInRow(y);
        for (int32_t x = 0; x < width; ++x) row[4 * x + 3] = 255;
    }
}

int64_t StartTime(const AVStream* stream) {
    return stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
}

// Frame numbers come from timestamps; in an AVI file the time base is the
// frame duration itself.
AVRational FrameDuration(const AVStream* stream) {
    const AVRational duration = av_inv_q(stream->r_frame_rate);
    return duration.num > 0 && duration.den > 0 ? duration : stream->time_base;
}

// swscale wants the full-range ("J") YUV formats of JPEG decoders named as
// their plain twins with the range given separately.
AVPixelFormat WithoutJpegRange(AVPixelFormat format, bool& fullRange) {
    fullRange = true;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
        default: fullRange = false; return format;
    }
}

}  // namespace

CVekMovie::CVekMovie(int32_t frameRate) : m_frameRate(frameRate) {}

CVekMovie::~CVekMovie() { Close(); }

int32_t CVekMovie::AddRef() { return m_refCount.fetch_add(1) + 1; }

int32_t CVekMovie::Release() {
    const int32_t count = m_refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

bool CVekMovie::Open(const char* path, uint32_t mode) {
    Close();
    m_openMode = mode;
    if (path == nullptr) Raise("AviFileOpen failed", AVERROR(EINVAL));
    try {
        Av();
    } catch (const std::exception&) {
        Raise("FFmpeg's libraries cannot be loaded", kVisErrorFailure);
    }
    const bool forWriting =
        (mode & kOpenCreate) != 0 || ((mode & (kOpenWrite | kOpenReadWrite)) != 0 && !FileExists(path));
    m_writing = forWriting;
    if (forWriting) {
        RaiseIfFailed(Av().avformat_alloc_output_context2(&m_file, nullptr, "avi", path), "AviFileOpen failed");
        RaiseIfFailed(Av().avio_open(&m_file->pb, path, AVIO_FLAG_WRITE), "AviFileOpen failed");
    } else {
        RaiseIfFailed(Av().avformat_open_input(&m_file, path, nullptr, nullptr), "AviFileOpen failed");
    }
    m_fileName = strdup(path);
    if (m_fileName == nullptr) Raise("Out of memeory", kVisErrorOutOfMemory);
    m_pixelFormat = evispixfmtRGBAByte;
    m_frame = Av().av_frame_alloc();
    m_packet = Av().av_packet_alloc();
    if (m_frame == nullptr || m_packet == nullptr) Raise("Out of memeory", kVisErrorOutOfMemory);
    if (forWriting) {
        OpenForWriting();
    } else {
        OpenForReading();
    }
    m_nextFrame = 0;
    return true;
}

void CVekMovie::OpenForReading() {
    RaiseIfFailed(Av().avformat_find_stream_info(m_file, nullptr), "AviFileGetStream failed");
    for (unsigned i = 0; i < m_file->nb_streams; ++i) {
        AVStream* stream = m_file->streams[i];
        if (m_videoStream == nullptr && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            m_videoStream = stream;
        } else {
            stream->discard = AVDISCARD_ALL;
        }
    }
    if (m_videoStream == nullptr) Raise("AviFileGetStream failed", AVERROR_STREAM_NOT_FOUND);
    const AVCodecParameters* parameters = m_videoStream->codecpar;
    if (parameters->width <= 0 || parameters->height <= 0) Raise("Can't open avi frames", kVisErrorFailure);
    m_width = static_cast<uint32_t>(parameters->width);
    m_height = static_cast<uint32_t>(parameters->height);
    // FFmpeg marks uncompressed bitmaps stored bottom-up and turns them over
    // while decoding; an unmarked one was stored top-down (negative height).
    if (parameters->codec_id == AV_CODEC_ID_RAWVIDEO && parameters->codec_tag == 0 &&
        !EndsWithBottomUpMark(parameters)) {
        m_bottomUp = false;
    }

    const AVCodec* codec = Av().avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) Raise("Can't open avi frames", kVisErrorFailure);
    m_decoder = Av().avcodec_alloc_context3(codec);
    if (m_decoder == nullptr || Av().avcodec_parameters_to_context(m_decoder, parameters) < 0 ||
        Av().avcodec_open2(m_decoder, codec, nullptr) < 0) {
        Raise("Can't open avi frames", kVisErrorFailure);
    }
    m_decodedBytesPerPixel = HasAlpha(m_decoder->pix_fmt) ? 4 : 3;

    if (m_videoStream->nb_frames > 0 && m_videoStream->nb_frames <= UINT32_MAX) {
        m_frameCount = static_cast<uint32_t>(m_videoStream->nb_frames);
        m_decodedFrame = -1;
    } else {
        // The header gives no length: count the stream's packets, and have the
        // first read seek back to the start.
        while (Av().av_read_frame(m_file, m_packet) >= 0) {
            if (m_packet->stream_index == m_videoStream->index && m_frameCount < UINT32_MAX) ++m_frameCount;
            Av().av_packet_unref(m_packet);
        }
        m_decodedFrame = kPositionUnknown;
    }
    m_demuxerAtEnd = false;
    m_formatPending = false;
}

void CVekMovie::OpenForWriting() {
    m_videoStream = Av().avformat_new_stream(m_file, nullptr);
    if (m_videoStream == nullptr) Raise("Can't create avi stream", AVERROR(ENOMEM));
    AVCodecParameters* parameters = m_videoStream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
    parameters->codec_tag = 0;
    parameters->format = AV_PIX_FMT_BGRA;
    parameters->bits_per_coded_sample = 32;
    // Uncompressed frames with a positive height, the rows handed over bottom-up.
    RaiseIfFailed(Av().av_opt_set_int(m_file->priv_data, "flipped_raw_rgb", 1, 0), "Can't make compressed stream");
    m_formatPending = true;
}

void CVekMovie::BeginWriting(const CVisImageBase& image) {
    const int64_t frameBytes = static_cast<int64_t>(image.Width()) * image.Height() * 4;
    if (!image.HasMemory() || frameBytes <= 0 || frameBytes > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE ||
        m_frameRate <= 0) {
        Raise("Can't set avi stream format", AVERROR(EINVAL));
    }
    m_width = static_cast<uint32_t>(image.Width());
    m_height = static_cast<uint32_t>(image.Height());
    m_pixelFormat = evispixfmtRGBAByte;
    m_videoStream->codecpar->width = image.Width();
    m_videoStream->codecpar->height = image.Height();
    m_videoStream->time_base = AVRational{1, m_frameRate};
    m_videoStream->avg_frame_rate = AVRational{m_frameRate, 1};
    m_videoStream->r_frame_rate = AVRational{m_frameRate, 1};
    RaiseIfFailed(Av().avformat_write_header(m_file, nullptr), "Can't set avi stream format");
    m_headerWritten = true;
    m_formatPending = false;
}

bool CVekMovie::WriteFrame(const CVisImageBase& image, int32_t index) {
    if (image.PixFmt() != evispixfmtRGBAByte || image.CbPixel() != 4) {
        Raise("Incorrect pixel type", kVisErrorInvalidArgument);
    }
    if (!m_writing || m_file == nullptr) Raise("Write to AVI stream failed", AVERROR(EINVAL));
    const uint32_t position = index == -1 ? m_nextFrame : static_cast<uint32_t>(index);
    if (m_formatPending) {
        BeginWriting(image);
    } else if (static_cast<uint32_t>(image.Width()) != m_width ||
               static_cast<uint32_t>(image.Height()) != m_height) {
        Raise("All images must be the same size", kVisErrorInvalidArgument);
    }
    // Frames are appended in order: a skipped index would make the muxer write
    // one empty frame per skipped index, and an earlier one cannot be replaced.
    if (position != m_nextFrame) Raise("Write to AVI stream failed", AVERROR(EINVAL));

    const size_t rowBytes = static_cast<size_t>(m_width) * 4;
    const size_t frameBytes = rowBytes * m_height;
    if (m_conversionBuffer == nullptr) {
        m_conversionBuffer = Av().av_buffer_alloc(frameBytes + AV_INPUT_BUFFER_PADDING_SIZE);
        if (m_conversionBuffer == nullptr) Raise("Out of memory", kVisErrorOutOfMemory);
    } else if (Av().av_buffer_make_writable(&m_conversionBuffer) < 0) {
        Raise("Out of memory", kVisErrorOutOfMemory);
    }
    // The bitmap's rows run from the bottom of the picture up.
    for (uint32_t r = 0; r < m_height; ++r) {
        std::memcpy(m_conversionBuffer->data + r * rowBytes,
                    image.PbFirstPixelInRow(static_cast<int32_t>(m_height - 1 - r)), rowBytes);
    }

    Av().av_packet_unref(m_packet);
    m_packet->buf = Av().av_buffer_ref(m_conversionBuffer);
    if (m_packet->buf == nullptr) Raise("Out of memory", kVisErrorOutOfMemory);
    m_packet->data = m_conversionBuffer->data;
    m_packet->size = static_cast<int>(frameBytes);
    m_packet->stream_index = m_videoStream->index;
    m_packet->pts = position;
    m_packet->dts = position;
    m_packet->duration = 1;
    m_packet->flags = AV_PKT_FLAG_KEY;
    const int result = Av().av_write_frame(m_file, m_packet);
    Av().av_packet_unref(m_packet);
    RaiseIfFailed(result, "Write to AVI stream failed");

    m_nextFrame = position + 1;
    m_frameCount = m_nextFrame;
    return true;
}

bool CVekMovie::ReadFrame(CVisRGBAByteImage& image, int32_t index) {
    if (image.HasMemory() && (static_cast<uint32_t>(image.Width()) != m_width ||
                              static_cast<uint32_t>(image.Height()) != m_height)) {
        Raise("Invalid input image", kVisErrorInvalidArgument);
    }
    if (m_decoder == nullptr || m_frameCount == 0) Raise("Can't read avi frame", kVisErrorFailure);
    uint32_t wanted = index == -1 ? m_nextFrame : static_cast<uint32_t>(index);
    if (wanted >= m_frameCount) wanted = m_frameCount - 1;
    DecodeFrame(wanted);
    image.Allocate(CVisShape(0, 0, static_cast<int32_t>(m_width), static_cast<int32_t>(m_height)));
    DeliverFrame(image);
    m_nextFrame = wanted + 1;
    return true;
}

void CVekMovie::DecodeFrame(uint32_t index) {
    // Reading front to back decodes each frame once; any other order seeks to
    // the key frame before the wanted one and decodes forward from there.
    bool seekedAhead = false;
    if (m_decodedFrame == kPositionUnknown || static_cast<int64_t>(index) != m_decodedFrame + 1) {
        SeekBefore(index);
        seekedAhead = index > 0;
    }
    while (true) {
        if (!DecodeNext()) Raise("Can't read avi frame", kVisErrorFailure);
        const int64_t timestamp = m_frame->best_effort_timestamp;
        if (timestamp != AV_NOPTS_VALUE) {
            m_decodedFrame = FrameIndexOf(timestamp);
        } else if (m_decodedFrame != kPositionUnknown) {
            ++m_decodedFrame;
        } else {
            Raise("Can't read avi frame", kVisErrorFailure);
        }
        if (m_decodedFrame > index && seekedAhead) {
            // The seek landed past the wanted frame: decode from the start instead.
            seekedAhead = false;
            SeekBefore(0);
            continue;
        }
        // A frame missing from the movie gives the one after it.
        if (m_decodedFrame >= index) return;
        seekedAhead = false;
    }
}

bool CVekMovie::DecodeNext() {
    Av().av_frame_unref(m_frame);
    while (true) {
        const int received = Av().avcodec_receive_frame(m_decoder, m_frame);
        if (received == 0) return true;
        if (received != AVERROR(EAGAIN) || m_demuxerAtEnd) return false;
        if (Av().av_read_frame(m_file, m_packet) < 0) {
            m_demuxerAtEnd = true;
            Av().avcodec_send_packet(m_decoder, nullptr);
            continue;
        }
        // A packet the decoder refuses is skipped; the next one may decode.
        if (m_packet->stream_index == m_videoStream->index) Av().avcodec_send_packet(m_decoder, m_packet);
        Av().av_packet_unref(m_packet);
    }
}

void CVekMovie::SeekBefore(uint32_t index) {
    const int64_t start = StartTime(m_videoStream);
    const int64_t timestamp = start + Av().av_rescale_q(index, FrameDuration(m_videoStream), m_videoStream->time_base);
    int result = Av().av_seek_frame(m_file, m_videoStream->index, timestamp, AVSEEK_FLAG_BACKWARD);
    if (result < 0) result = Av().av_seek_frame(m_file, m_videoStream->index, start, AVSEEK_FLAG_BACKWARD);
    if (result < 0) Raise("Can't read avi frame", result);
    Av().avcodec_flush_buffers(m_decoder);
    m_demuxerAtEnd = false;
    m_decodedFrame = index == 0 ? -1 : kPositionUnknown;
}

int64_t CVekMovie::FrameIndexOf(int64_t timestamp) const {
    return Av().av_rescale_q_rnd(timestamp - StartTime(m_videoStream), m_videoStream->time_base,
                            FrameDuration(m_videoStream), AV_ROUND_NEAR_INF);
}

void CVekMovie::DeliverFrame(CVisRGBAByteImage& image) {
    const AVPixelFormat format = static_cast<AVPixelFormat>(m_frame->format);
    const bool sourceHasAlpha = HasAlpha(format);
    m_decodedBytesPerPixel = sourceHasAlpha ? 4 : 3;
    const int width = static_cast<int>(m_width);
    const int height = static_cast<int>(m_height);
    const bool sameSize = m_frame->width == width && m_frame->height == height;
    if (sameSize && (format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0)) {
        // Already our byte order: rows go straight from the decoder into the image.
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        if (m_frame->linesize[0] == static_cast<int>(rowBytes)) {
            const CVisRGBAByteImage source(CVisShape(0, 0, width, height), m_frame->data[0]);
            if (!source.CopyPixelsTo(image)) Raise("CopyPixelsTo failed", kVisErrorFailure);
        } else {
            for (int y = 0; y < height; ++y) {
                std::memcpy(image.PbFirstPixelInRow(y),
                            m_frame->data[0] + static_cast<ptrdiff_t>(y) * m_frame->linesize[0], rowBytes);
            }
        }
    } else {
        bool fullRange = false;
        const AVPixelFormat sourceFormat = WithoutJpegRange(format, fullRange);
        fullRange = fullRange || m_frame->color_range == AVCOL_RANGE_JPEG;
        m_scaler = Av().sws_getCachedContext(m_scaler, m_frame->width, m_frame->height, sourceFormat, width, height,
                                        AV_PIX_FMT_BGRA, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                        nullptr);
        if (m_scaler == nullptr) Raise("Can't read avi frame", kVisErrorFailure);
        int* inverseTable = nullptr;
        int* table = nullptr;
        int sourceRange = 0, targetRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (Av().sws_getColorspaceDetails(m_scaler, &inverseTable, &sourceRange, &table, &targetRange, &brightness,
                                     &contrast, &saturation) >= 0) {
            Av().sws_setColorspaceDetails(m_scaler, Av().sws_getCoefficients(m_frame->colorspace), fullRange ? 1 : 0, table,
                                     targetRange, brightness, contrast, saturation);
        }
        uint8_t* target[4] = {image.PbFirstPixelInRow(0), nullptr, nullptr, nullptr};
        const int targetStride[4] = {image.MemoryWidth() * 4, 0, 0, 0};
        if (Av().sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, m_frame->height, target, targetStride) !=
            height) {
            Raise("Can't read avi frame", kVisErrorFailure);
        }
    }
    SettleAlpha(image, sourceHasAlpha);
}

void CVekMovie::Close() {
    std::free(m_fileName);
    m_fileName = nullptr;
    m_openMode = 0;
    m_frameCount = 0;
    m_height = 0;
    m_width = 0;
    m_pixelFormat = evispixfmtNone;
    m_decodedBytesPerPixel = 0;
    m_decodedFrame = -1;
    m_demuxerAtEnd = false;
    // Before a movie is opened, FFmpeg may not be loaded, and nothing of its exists.
    if (CFfmpegLibrary::Loaded()) {
        const CFfmpegLibrary& av = Av();
        av.av_buffer_unref(&m_conversionBuffer);
        av.sws_freeContext(m_scaler);
        av.avcodec_free_context(&m_decoder);
        av.av_frame_free(&m_frame);
        av.av_packet_free(&m_packet);
        if (m_file != nullptr && m_writing) {
            // The trailer writes the index that makes the movie complete.
            if (m_headerWritten) av.av_write_trailer(m_file);
            av.avio_closep(&m_file->pb);
            av.avformat_free_context(m_file);
            m_file = nullptr;
        } else if (m_file != nullptr) {
            av.avformat_close_input(&m_file);
        }
    }
    m_scaler = nullptr;
    m_videoStream = nullptr;
    m_writing = false;
    m_headerWritten = false;
}
