#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <vector>

// The FFmpeg functions the movie code calls.
#define ORVANTA_FFMPEG_FUNCTIONS(X)                                                                           \
    X(av_buffer_alloc) X(av_buffer_make_writable) X(av_buffer_ref) X(av_buffer_unref) X(av_frame_alloc)       \
    X(av_frame_free) X(av_frame_unref) X(av_max_alloc) X(av_opt_set_int) X(av_packet_alloc) X(av_packet_free)                 \
    X(av_packet_unref) X(av_pix_fmt_desc_get) X(av_read_frame) X(av_rescale_q) X(av_rescale_q_rnd)            \
    X(av_seek_frame) X(av_write_frame) X(av_write_trailer) X(avcodec_alloc_context3) X(avcodec_find_decoder)  \
    X(avcodec_flush_buffers) X(avcodec_free_context) X(avcodec_open2) X(avcodec_parameters_to_context)        \
    X(avcodec_receive_frame) X(avcodec_send_packet) X(avformat_alloc_output_context2) X(avformat_close_input) \
    X(avformat_find_stream_info) X(avformat_free_context) X(avformat_new_stream) X(avformat_open_input)       \
    X(avformat_write_header) X(avio_closep) X(avio_open) X(sws_freeContext) X(sws_getCachedContext)           \
    X(sws_getCoefficients) X(sws_getColorspaceDetails) X(sws_scale) X(sws_setColorspaceDetails)

// FFmpeg's libraries, opened when the first movie is. With their codecs they
// are more than a hundred shared libraries, whose loading would otherwise
// cost every start of the program, movie or not, a noticeable delay. The
// libraries opened are those of the major versions the program was built
// against, so the functions' types are the ones the headers declare.
class CFfmpegLibrary {
public:
    // The functions, loading the libraries on first use; throws
    // std::runtime_error, saying why, when they cannot be loaded.
    static const CFfmpegLibrary& Get();
    // True once Get has succeeded: nothing of FFmpeg's can exist before.
    static bool Loaded();

    // Opens `libraries` (sonames, the one of the formats first) and finds the
    // functions in them; throws std::runtime_error naming what is missing.
    // Get opens those of the versions the program was built against.
    explicit CFfmpegLibrary(const std::vector<const char*>& libraries);

#define ORVANTA_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
    ORVANTA_FFMPEG_FUNCTIONS(ORVANTA_FFMPEG_POINTER)
#undef ORVANTA_FFMPEG_POINTER
};
