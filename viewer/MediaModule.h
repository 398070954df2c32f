#pragma once

// HEIF decoding and video playback live in runtime-loaded modules
// (libshoebox_heif.so, libshoebox_video.so), so that starting the app maps
// neither libheif with its codecs nor Qt Multimedia with its audio stack.
// A module is loaded the first time a file needs it, shown or prefetched.
//
// This header is all the executable and the modules share. Everything in it
// is inline: a module sees none of the executable's own symbols.

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <utility>

#include "viewer/DecodeBudget.h"
#include "viewer/DecodedPicture.h"

namespace shoebox::media {

// What a module's decoder borrows from the executable.
struct DecodeHost {
    QImage (*fitForDisplay)(QImage decoded, QSize target, qreal devicePixelRatio);
    // The process-wide decode budget and the most one decode may take (DecodeBudget.h).
    imaging::Problem (*reserveDecodeBytes)(std::int64_t bytes, const imaging::CancelCheck& cancelled);
    void (*releaseDecodeBytes)(std::int64_t bytes);
    std::int64_t (*decodeCapBytes)();
    // The photo's date and camera from an Exif block ("Exif\0\0" and the TIFF
    // structure), read with libexif as for a JPEG.
    imaging::PhotoInfo (*photoInfoFromExif)(const QByteArray& exif);

    imaging::DecodeReservation reserve(std::int64_t bytes, const imaging::CancelCheck& cancelled) const
    {
        return {bytes, cancelled, reserveDecodeBytes, releaseDecodeBytes};
    }
};

// ---- HEIF ----

// imaging::decodeHeif's work, done by the module. Safe on any thread.
// The file is open as `fd` (`size` bytes); libheif reads what it needs of
// it, so an embedded thumbnail shows without the whole file being read.
// The result goes to `out`: the entry point has C linkage (an unmangled
// name for dlsym), and such a function returns nothing C could not take.
using HeifDecodeFn = void (*)(const DecodeHost& host, int fd, std::int64_t size, const imaging::DecodeRequest& request,
                              const imaging::CancelCheck& cancelled, const imaging::PreviewSink& preview,
                              imaging::DecodedPicture* out);
// The module's entry point; the version is in the name, so a stale module
// from an older build is simply not found.
inline constexpr char heifDecodeSymbol[] = "shoebox_heif_decode_v6";

// ---- video ----

// One video, playing muted and looping. Lives on the UI thread; the
// handlers run there.
class VideoSource : public QObject {
public:
    struct Handlers {
        std::function<void()> frameChanged;         // a new frame is ready for currentImage()
        std::function<void(const QString&)> failed; // empty text: unsupported or damaged
    };

    VideoSource(Handlers handlers, QObject* parent) : QObject(parent), handlers_(std::move(handlers)) {}

    // False when the platform has no media backend at all.
    virtual bool isAvailable() const = 0;
    virtual void play(const QUrl& source) = 0;
    // The latest frame, converted on first ask; null before the first.
    virtual QImage currentImage() = 0;

    // Stops calling the handlers, e.g. before a deferred delete.
    void detach() { handlers_ = {}; }

protected:
    void notifyFrame()
    {
        if (handlers_.frameChanged)
            handlers_.frameChanged();
    }
    void notifyFailed(const QString& why)
    {
        if (handlers_.failed)
            handlers_.failed(why);
    }

private:
    Handlers handlers_;
};

using CreateVideoFn = VideoSource* (*)(VideoSource::Handlers handlers, QObject* parent);
inline constexpr char createVideoSymbol[] = "shoebox_video_create_v1";

// The first frame of the video open as `fd`, turned upright as the player
// shows it (the track's rotation matrix) and fitted to the request's
// target: decoded ahead like a photo, so that stepping onto the video
// shows it at once while the player starts. A null image when there is
// none to be had (the player then tells what is wrong). Its info holds the
// creation time, camera and size GStreamer's discoverer finds. Safe on any
// thread; polls `cancelled`. The result goes to `out`, as HeifDecodeFn's.
using VideoPosterFn = void (*)(const DecodeHost& host, int fd, const imaging::DecodeRequest& request,
                               const imaging::CancelCheck& cancelled, imaging::DecodedPicture* out);
inline constexpr char videoPosterSymbol[] = "shoebox_video_poster_v4";

// ---- the executable's side (MediaModule.cpp) ----

// The module's decoder, or null when it cannot be loaded. The first call
// loads the module; concurrent callers wait for that one load.
HeifDecodeFn heifDecoder();

// The video module's poster decoder, or null when it cannot be loaded.
// Any thread.
VideoPosterFn videoPosterDecoder();

// A new video source owned by `parent`, or null when the video module
// cannot be loaded. UI thread only.
VideoSource* createVideoSource(VideoSource::Handlers handlers, QObject* parent);

// What the executable lends the modules' decoders (DecodeHost above).
const DecodeHost& decodeHost();

// Loads both modules in the background, so that the first HEIC or video of
// a session does not wait for them. Called once the window is on screen
// (start-up does not pay for them) or when a video is among the next files.
void preloadModules();

} // namespace shoebox::media
