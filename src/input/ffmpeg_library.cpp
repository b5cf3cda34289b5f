#include "input/ffmpeg_library.h"

#ifdef TALVENOR_HAVE_FFMPEG

#include <memory>

#include "workspace/shared_library.h"

namespace talvenor {

namespace {

// The libraries of the major versions the program was built against: another major version
// may lay out the structures it reads differently.
std::unique_ptr<const FfmpegLibrary> Load() {
    const SharedLibrary Codec(TALVENOR_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR));
    const SharedLibrary Util(TALVENOR_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    const SharedLibrary Scale(TALVENOR_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR));
    auto library = std::make_unique<FfmpegLibrary>();
    bool complete = true;
#define TALVENOR_FFMPEG_FIND(from, name) complete = from.Find(#name, library->name) && complete;
    TALVENOR_FFMPEG_FUNCTIONS(TALVENOR_FFMPEG_FIND)
#undef TALVENOR_FFMPEG_FIND
    if (!complete) return nullptr;
    // The decoders report damaged data through their return values, which become errors, so
    // libavcodec's own console chatter would only repeat them.
    library->av_log_set_level(AV_LOG_QUIET);
    return library;
}

}  // namespace

const FfmpegLibrary* Ffmpeg() {
    // Loaded once for the process, as the system's loader would have at start; never changed.
    static const std::unique_ptr<const FfmpegLibrary> library = Load();
    return library.get();
}

}  // namespace talvenor

#endif
