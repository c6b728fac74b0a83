#pragma once
// Run-time loading of the media libraries. The program is not linked against FFmpeg or SDL: a
// machine without them still runs the catalogue, and only the video preview reports the failure.
// Each library is opened by its soname from the program's "LibAV" folder first, then from the
// system's search path, and every function the engine calls is bound by name into a table.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}
#include <SDL.h>

#include <QString>
#include <array>
#include <mutex>

// The functions the engine calls, one list per library. X(name) binds a required function;
// a missing one fails the load of its library.
#define ORVEK_AVUTIL_FUNCTIONS(X) \
    X(av_log_set_callback) X(av_log_default_callback) X(av_log_set_level) X(av_frame_alloc) X(av_frame_free) X(av_frame_unref) \
    X(av_frame_move_ref) X(av_frame_ref) X(av_dict_set) X(av_dict_get) X(av_dict_free) X(av_strerror) \
    X(av_gettime_relative) X(av_get_pix_fmt_name) X(av_get_sample_fmt_name) X(av_samples_get_buffer_size) \
    X(av_get_bytes_per_sample) X(av_channel_layout_default) X(av_channel_layout_copy) \
    X(av_channel_layout_compare) X(av_channel_layout_uninit) X(av_channel_layout_describe) \
    X(av_rescale_q) X(av_malloc) X(av_free) X(av_freep) X(av_fast_malloc) X(av_opt_set_bin) X(av_strdup) \
    X(av_image_fill_linesizes) X(av_version_info) X(avutil_version)
#define ORVEK_AVCODEC_FUNCTIONS(X) \
    X(avcodec_find_decoder) X(avcodec_find_decoder_by_name) X(avcodec_alloc_context3) X(avcodec_free_context) \
    X(avcodec_parameters_to_context) X(avcodec_open2) X(avcodec_send_packet) X(avcodec_receive_frame) \
    X(avcodec_flush_buffers) X(av_packet_alloc) X(av_packet_free) X(av_packet_unref) X(av_packet_move_ref) \
    X(avcodec_version)
#define ORVEK_AVFORMAT_FUNCTIONS(X) \
    X(avformat_alloc_context) X(avformat_open_input) X(avformat_find_stream_info) X(avformat_close_input) \
    X(av_find_best_stream) X(av_read_frame) X(avformat_seek_file) X(av_guess_sample_aspect_ratio) \
    X(av_guess_frame_rate) X(avio_alloc_context) X(avio_context_free) X(av_read_pause) X(av_read_play) \
    X(avio_find_protocol_name) X(avformat_version)
#define ORVEK_AVFILTER_FUNCTIONS(X) \
    X(avfilter_get_by_name) X(avfilter_graph_alloc) X(avfilter_graph_free) X(avfilter_graph_create_filter) \
    X(avfilter_link) X(avfilter_graph_config) X(avfilter_graph_parse_ptr) X(avfilter_inout_alloc) \
    X(avfilter_inout_free) X(av_buffersrc_add_frame) X(av_buffersink_get_frame_flags) \
    X(av_buffersink_get_time_base) X(av_buffersink_get_frame_rate) X(avfilter_version)
#define ORVEK_AVDEVICE_FUNCTIONS(X) X(avdevice_version)
#define ORVEK_SWSCALE_FUNCTIONS(X) X(sws_getCachedContext) X(sws_scale) X(sws_freeContext) X(swscale_version)
#define ORVEK_SWRESAMPLE_FUNCTIONS(X) \
    X(swr_alloc_set_opts2) X(swr_init) X(swr_free) X(swr_convert) X(swr_set_compensation) X(swresample_version)
#define ORVEK_SDL_FUNCTIONS(X) \
    X(SDL_InitSubSystem) X(SDL_QuitSubSystem) X(SDL_OpenAudioDevice) X(SDL_CloseAudioDevice) \
    X(SDL_PauseAudioDevice) X(SDL_MixAudioFormat) X(SDL_GetError) X(SDL_GetCurrentAudioDriver) X(SDL_GetVersion)

// The bound FFmpeg functions; valid while the library set is loaded.
struct AvApi {
#define ORVEK_POINTER(fn) decltype(&::fn) fn = nullptr;
    ORVEK_AVUTIL_FUNCTIONS(ORVEK_POINTER)
    ORVEK_AVCODEC_FUNCTIONS(ORVEK_POINTER)
    ORVEK_AVFORMAT_FUNCTIONS(ORVEK_POINTER)
    ORVEK_AVFILTER_FUNCTIONS(ORVEK_POINTER)
    ORVEK_AVDEVICE_FUNCTIONS(ORVEK_POINTER)
    ORVEK_SWSCALE_FUNCTIONS(ORVEK_POINTER)
    ORVEK_SWRESAMPLE_FUNCTIONS(ORVEK_POINTER)
};

struct SdlApi {
    ORVEK_SDL_FUNCTIONS(ORVEK_POINTER)
#undef ORVEK_POINTER
};

// The libraries of the engine, in loading order.
enum class TLibrary { avUtil, swResample, swScale, avCodec, avFormat, avFilter, avDevice, libSoundTouch };
constexpr int kLibraryCount = 8;

class TLibraries {
public:
    constexpr TLibraries() = default;
    constexpr TLibraries(std::initializer_list<TLibrary> members)
    {
        for (auto m : members)
            bits |= 1u << int(m);
    }
    constexpr bool Has(TLibrary lib) const { return bits & (1u << int(lib)); }
    constexpr bool Empty() const { return bits == 0; }

private:
    unsigned bits = 0;
};

// The set the engine needs to play (the stretching library is optional).
constexpr TLibraries kEngineLibraries{TLibrary::avUtil, TLibrary::swResample, TLibrary::swScale,
                                      TLibrary::avCodec, TLibrary::avFormat, TLibrary::avFilter,
                                      TLibrary::avDevice};

// The process-wide loader of the FFmpeg libraries. Loading and unloading happen on the host's
// thread; the bound table is then read by the engine's threads.
class TFFLoader {
public:
    static TFFLoader& Instance();

    // Loads a set in the order above; at the first failure the whole set is released again.
    bool Load(TLibraries set);
    bool Loaded(TLibraries set) const;
    void Unload(TLibraries set);
    // Throws std::runtime_error("Library %s not loaded.") naming the first member that is not.
    void CheckLibAV(TLibraries set) const;

    QString LibraryPath;           // folder searched first (the program's "LibAV")
    bool SearchSystemPath = true;  // then the system's search path by soname
    bool InstallLogger = true;     // route FFmpeg's log through the engine's log
    QString LastErrMsg;

    // Base name, e.g. "avcodec", and the file name loaded: "libavcodec.so.59" unless set explicitly.
    static QString BaseName(TLibrary lib);
    QString FileName(TLibrary lib) const;
    void SetFileName(TLibrary lib, const QString& fileName);
    // The full path of the module that was loaded, empty when not loaded.
    QString LoadedPath(TLibrary lib) const;

    const AvApi& Api() const { return api; }

private:
    struct Slot {
        void* handle = nullptr;
        bool bound = false;
        QString explicitFile;
        QString loadedPath;
    };
    bool LoadOne(TLibrary lib);
    void UnloadOne(TLibrary lib);
    bool BindOne(TLibrary lib);
    void ClearBindings(TLibrary lib);

    std::array<Slot, kLibraryCount> libSlots{};
    AvApi api;
};

// The bound FFmpeg functions (shorthand for the engine's code).
inline const AvApi& Av() { return TFFLoader::Instance().Api(); }

// Opens a shared library from folder (when it holds the file) or by name through the system's
// search path. On failure returns nullptr and fills errorCode (errno style) and errorText.
void* OpenModule(const QString& folder, const QString& fileName, bool searchSystem, QString* loadedPath,
                 int* errorCode, QString* errorText);

// SDL 2, used for sound only. One process-wide copy serves every engine: SDL 2 keeps no
// per-window video state for us, and each engine opens its own audio device.
class TSDLLoader {
public:
    static TSDLLoader& Instance();
    bool Load(const QString& path, const QString& file = QStringLiteral("libSDL2-2.0.so.0"));
    bool Loaded() const;
    void Unload();
    const SdlApi& Api() const { return api; }
    QString LoadedPath() const;
    QString LastErrMsg;
    int SDLVersion[3] = {0, 0, 0};
    bool SearchSystemPath = true;

    // The lock that serialises SDL's initialisation across engines.
    static std::mutex& InitLock();

private:
    void* handle = nullptr;
    QString loadedPath;
    SdlApi api;
};

inline const SdlApi& Sdl() { return TSDLLoader::Instance().Api(); }
