#include "viewer/MediaModule.h"

#include "platform/ProgramFolder.h"
#include "viewer/Exif.h"
#include "viewer/Fitting.h"

#include <QLibrary>
#include <QThreadPool>

#include <atomic>
#include <mutex>

namespace shoebox::media {

namespace {

// Loads lib<name>.so and resolves `symbol`, or returns null. The modules
// lie at the same path relative to the executable in the build tree and in
// an installed copy (see the top-level CMakeLists.txt).
QFunctionPointer loadModule(const char* name, const char* symbol)
{
    const QString file = QStringLiteral("lib%1.so").arg(QLatin1String(name));
    // Not from QCoreApplication: this runs on decode threads too, and
    // before or without an application object.
    const std::string folder = programFolder();
    const QString exe = QString::fromLocal8Bit(folder.data(), static_cast<qsizetype>(folder.size()));
    const QString path = exe + QLatin1Char('/') + QStringLiteral(SHOEBOX_MODULE_RELATIVE_DIR) + QLatin1Char('/') + file;
    // Destroying a QLibrary does not unload the library (only unload()
    // does), so the module stays loaded for objects it made that are
    // deleted later.
    QLibrary library(path);
    QString errors;
    if (exe.isEmpty())
        errors = QStringLiteral("cannot find the program's own folder");
    else if (QFunctionPointer f = library.resolve(symbol))
        return f;
    else
        errors = library.errorString();
    qWarning("%s is not available: %s", qPrintable(file), qPrintable(errors));
    return nullptr;
}

std::once_flag videoOnce;
CreateVideoFn videoFactory = nullptr;
VideoPosterFn videoPoster = nullptr;

void loadVideoModule()
{
    std::call_once(videoOnce, [] {
        videoFactory = reinterpret_cast<CreateVideoFn>(loadModule("shoebox_video", createVideoSymbol));
        if (videoFactory)
            videoPoster = reinterpret_cast<VideoPosterFn>(loadModule("shoebox_video", videoPosterSymbol));
    });
}

} // namespace

HeifDecodeFn heifDecoder()
{
    static std::once_flag once;
    static HeifDecodeFn decode = nullptr;
    std::call_once(once, [] { decode = reinterpret_cast<HeifDecodeFn>(loadModule("shoebox_heif", heifDecodeSymbol)); });
    return decode;
}

VideoPosterFn videoPosterDecoder()
{
    loadVideoModule();
    return videoPoster;
}

VideoSource* createVideoSource(VideoSource::Handlers handlers, QObject* parent)
{
    loadVideoModule(); // waits for a preload still under way
    return videoFactory ? videoFactory(std::move(handlers), parent) : nullptr;
}

void preloadModules()
{
    static std::atomic<bool> started{false};
    if (started.exchange(true))
        return;
    QThreadPool::globalInstance()->start([] {
        heifDecoder();
        loadVideoModule();
    });
}

const DecodeHost& decodeHost()
{
    static const DecodeHost host{&imaging::fitForDisplay, &imaging::reserveDecodeBytes, &imaging::releaseDecodeBytes,
                                 &imaging::decodeCapBytes, &imaging::photoInfoFromExif};
    return host;
}

} // namespace shoebox::media
