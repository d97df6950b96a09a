#include "FfmpegLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

#define ORVANTA_TEXT(x) #x
#define ORVANTA_SONAME(library, major) "lib" library ".so." ORVANTA_TEXT(major)

// Formats first: its dependencies (codecs, utilities) answer for their own functions.
const char* const kLibraries[] = {
    ORVANTA_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
    ORVANTA_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
    ORVANTA_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
    ORVANTA_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR),
};

std::atomic<bool> g_loaded{false};

}  // namespace

CFfmpegLibrary::CFfmpegLibrary(const std::vector<const char*>& libraries) {
    // The libraries stay loaded for the rest of the run.
    std::vector<void*> handles;
    for (const char* library : libraries) {
        void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            throw std::runtime_error(std::string("FFmpeg cannot be loaded: ") + (why ? why : library));
        }
        handles.push_back(handle);
    }
    auto find = [&handles](const char* name) {
        for (void* handle : handles)
            if (void* address = dlsym(handle, name)) return address;
        throw std::runtime_error(std::string("FFmpeg cannot be loaded: it has no function ") + name);
    };
#define ORVANTA_FFMPEG_FIND(name) name = reinterpret_cast<decltype(name)>(find(#name));
    ORVANTA_FFMPEG_FUNCTIONS(ORVANTA_FFMPEG_FIND)
#undef ORVANTA_FFMPEG_FIND
    // A damaged file can make a demuxer size one buffer from a field it
    // misread (gigabytes for a file of a few hundred bytes). No buffer a movie
    // of ours needs comes near this bound (an 8K RGBA frame takes 133 MB), so
    // such a file fails to open instead of taking the machine's memory.
    av_max_alloc(size_t{256} << 20);
}

const CFfmpegLibrary& CFfmpegLibrary::Get() {
    static const CFfmpegLibrary library({std::begin(kLibraries), std::end(kLibraries)});
    g_loaded.store(true, std::memory_order_release);
    return library;
}

bool CFfmpegLibrary::Loaded() { return g_loaded.load(std::memory_order_acquire); }
