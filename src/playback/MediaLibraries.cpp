#include "playback/MediaLibraries.h"

#include "playback/EngineLog.h"

#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>
#include <stdexcept>

namespace {

struct LibraryInfo {
    const char* baseName;
    int majorVersion; // 0: no version in the file name
};

// Sonames follow the major versions of the headers we build against, so a table entry can
// never name an interface the code was not written for.
constexpr std::array<LibraryInfo, kLibraryCount> kLibraryInfo{{
    {"avutil", LIBAVUTIL_VERSION_MAJOR},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR},
    {"swscale", LIBSWSCALE_VERSION_MAJOR},
    {"avcodec", LIBAVCODEC_VERSION_MAJOR},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR},
    {"avdevice", LIBAVDEVICE_VERSION_MAJOR},
    {"SoundTouch", 1},
}};

// Binds one function; throws the binding error the loader reports.
template <typename Pointer>
void BindFunction(void* handle, const char* name, const QString& file, Pointer& target)
{
    dlerror();
    void* address = dlsym(handle, name);
    if (!address) {
        const char* why = dlerror();
        throw std::runtime_error(QStringLiteral("Load function %1@%2 error: %3")
                                     .arg(QString::fromLatin1(name), file,
                                          QString::fromLocal8Bit(why ? why : "symbol not found"))
                                     .toStdString());
    }
    target = reinterpret_cast<Pointer>(address);
}

} // namespace

void* OpenModule(const QString& folder, const QString& fileName, bool searchSystem, QString* loadedPath,
                 int* errorCode, QString* errorText)
{
    // The libraries of a set are opened in dependency order, so a library opened by its full
    // path finds the ones it needs already loaded under their sonames.
    QString path;
    if (!folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(fileName)))
        path = QDir(folder).filePath(fileName);
    else if (searchSystem)
        path = fileName;
    if (path.isEmpty()) {
        *errorCode = ENOENT;
        *errorText = QStringLiteral("%1: cannot open shared object file: No such file or directory").arg(fileName);
        return nullptr;
    }
    // Never unmapped once loaded: the libraries start threads and register callbacks whose code
    // must stay in place until the process ends. Unloading only forgets the bindings.
    dlerror();
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = dlerror();
        *errorCode = QFileInfo::exists(path) || !path.contains('/') ? EINVAL : ENOENT;
        *errorText = QString::fromLocal8Bit(why ? why : "unknown error");
        return nullptr;
    }
    if (loadedPath) {
        char resolved[4096] = {};
        *loadedPath = dlinfo(handle, RTLD_DI_ORIGIN, resolved) == 0
                          ? QDir(QString::fromLocal8Bit(resolved)).filePath(fileName)
                          : path;
    }
    return handle;
}

TFFLoader& TFFLoader::Instance()
{
    static TFFLoader loader;
    return loader;
}

QString TFFLoader::BaseName(TLibrary lib)
{
    return QString::fromLatin1(kLibraryInfo[int(lib)].baseName);
}

QString TFFLoader::FileName(TLibrary lib) const
{
    const Slot& slot = libSlots[int(lib)];
    if (!slot.explicitFile.isEmpty())
        return slot.explicitFile;
    const LibraryInfo& info = kLibraryInfo[int(lib)];
    QString name = QStringLiteral("lib%1.so").arg(QLatin1String(info.baseName));
    if (info.majorVersion > 0)
        name += QStringLiteral(".%1").arg(info.majorVersion);
    return name;
}

void TFFLoader::SetFileName(TLibrary lib, const QString& fileName)
{
    libSlots[int(lib)].explicitFile = fileName;
}

QString TFFLoader::LoadedPath(TLibrary lib) const
{
    return libSlots[int(lib)].loadedPath;
}

bool TFFLoader::Load(TLibraries set)
{
    if (set.Empty())
        throw std::logic_error("TFFLoader::Load: empty library set");
    for (int i = 0; i < kLibraryCount; ++i) {
        if (set.Has(TLibrary(i)) && !LoadOne(TLibrary(i))) {
            Unload(set);
            return false;
        }
    }
    return true;
}

bool TFFLoader::Loaded(TLibraries set) const
{
    for (int i = 0; i < kLibraryCount; ++i)
        if (set.Has(TLibrary(i)) && !(libSlots[i].handle && libSlots[i].bound))
            return false;
    return !set.Empty();
}

void TFFLoader::Unload(TLibraries set)
{
    for (int i = kLibraryCount - 1; i >= 0; --i)
        if (set.Has(TLibrary(i)))
            UnloadOne(TLibrary(i));
}

void TFFLoader::CheckLibAV(TLibraries set) const
{
    for (int i = 0; i < kLibraryCount; ++i)
        if (set.Has(TLibrary(i)) && !Loaded({TLibrary(i)}))
            throw std::runtime_error(
                QStringLiteral("Library %1 not loaded.").arg(BaseName(TLibrary(i))).toStdString());
}

bool TFFLoader::LoadOne(TLibrary lib)
{
    Slot& slot = libSlots[int(lib)];
    const QString file = FileName(lib);
    if (!slot.handle) {
        // An explicit file name with a folder part is loaded from there; otherwise from LibraryPath.
        const QFileInfo info(file);
        const QString folder = file.contains('/') ? info.path() : LibraryPath;
        const QString name = file.contains('/') ? info.fileName() : file;
        int code = 0;
        QString why;
        slot.handle = OpenModule(folder, name, SearchSystemPath, &slot.loadedPath, &code, &why);
        if (!slot.handle) {
            const QString shown = folder.isEmpty() ? name : QDir(folder).filePath(name);
            LastErrMsg = QStringLiteral("Load library %1 error(#%2): %3").arg(shown).arg(code).arg(why);
            return false;
        }
    }
    if (!slot.bound) {
        try {
            slot.bound = BindOne(lib);
        } catch (const std::exception& error) {
            LastErrMsg = QString::fromStdString(error.what());
            slot.bound = false;
        }
    }
    if (!slot.bound) {
        UnloadOne(lib);
        return false;
    }
    if (lib == TLibrary::avUtil && InstallLogger)
        api.av_log_set_callback(FFmpegLogCallback);
    return true;
}

bool TFFLoader::BindOne(TLibrary lib)
{
    Slot& slot = libSlots[int(lib)];
    const QString file = FileName(lib);
#define ORVEK_BIND(fn) BindFunction(slot.handle, #fn, file, api.fn);
    switch (lib) {
    case TLibrary::avUtil: ORVEK_AVUTIL_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::swResample: ORVEK_SWRESAMPLE_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::swScale: ORVEK_SWSCALE_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::avCodec: ORVEK_AVCODEC_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::avFormat: ORVEK_AVFORMAT_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::avFilter: ORVEK_AVFILTER_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::avDevice: ORVEK_AVDEVICE_FUNCTIONS(ORVEK_BIND) break;
    case TLibrary::libSoundTouch: break; // only its presence is recorded
    }
#undef ORVEK_BIND
    return true;
}

void TFFLoader::ClearBindings(TLibrary lib)
{
#define ORVEK_CLEAR(fn) api.fn = nullptr;
    switch (lib) {
    case TLibrary::avUtil: ORVEK_AVUTIL_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::swResample: ORVEK_SWRESAMPLE_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::swScale: ORVEK_SWSCALE_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::avCodec: ORVEK_AVCODEC_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::avFormat: ORVEK_AVFORMAT_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::avFilter: ORVEK_AVFILTER_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::avDevice: ORVEK_AVDEVICE_FUNCTIONS(ORVEK_CLEAR) break;
    case TLibrary::libSoundTouch: break;
    }
#undef ORVEK_CLEAR
}

void TFFLoader::UnloadOne(TLibrary lib)
{
    Slot& slot = libSlots[int(lib)];
    if (!slot.handle)
        return;
    if (lib == TLibrary::avUtil && slot.bound && api.av_log_set_callback)
        api.av_log_set_callback(api.av_log_default_callback);
    ClearBindings(lib);
    dlclose(slot.handle);
    slot = Slot{nullptr, false, slot.explicitFile, {}};
}

TSDLLoader& TSDLLoader::Instance()
{
    static TSDLLoader loader;
    return loader;
}

std::mutex& TSDLLoader::InitLock()
{
    static std::mutex lock;
    return lock;
}

bool TSDLLoader::Load(const QString& path, const QString& file)
{
    std::lock_guard guard(InitLock());
    if (handle)
        return true;
    int code = 0;
    QString why;
    handle = OpenModule(path.trimmed(), file, SearchSystemPath, &loadedPath, &code, &why);
    if (!handle) {
        const QString shown = path.trimmed().isEmpty() ? file : QDir(path).filePath(file);
        LastErrMsg = QStringLiteral("Load library %1 error(#%2): %3").arg(shown).arg(code).arg(why);
        return false;
    }
    try {
#define ORVEK_BIND(fn) BindFunction(handle, #fn, file, api.fn);
        ORVEK_SDL_FUNCTIONS(ORVEK_BIND)
#undef ORVEK_BIND
    } catch (const std::exception& error) {
        LastErrMsg = QString::fromStdString(error.what());
        api = SdlApi{};
        dlclose(handle);
        handle = nullptr;
        loadedPath.clear();
        return false;
    }
    SDL_version version{};
    api.SDL_GetVersion(&version);
    SDLVersion[0] = version.major;
    SDLVersion[1] = version.minor;
    SDLVersion[2] = version.patch;
    return true;
}

bool TSDLLoader::Loaded() const
{
    return handle != nullptr;
}

void TSDLLoader::Unload()
{
    std::lock_guard guard(InitLock());
    if (!handle)
        return;
    api = SdlApi{};
    dlclose(handle);
    handle = nullptr;
    loadedPath.clear();
}

QString TSDLLoader::LoadedPath() const
{
    return loadedPath;
}
