#pragma once

#include "viewer/MediaModule.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <expected>
#include <functional>
#include <string>

class QBuffer;
class QMovie;

namespace shoebox::media {

// The one animation or video on show, and what it needs kept alive: the
// QMovie with the file's bytes, or the video source with the file
// descriptor it plays from. Lives on the UI thread; the Qt objects are
// children of `context`.
class MediaPlayback {
public:
    explicit MediaPlayback(QObject* context) : context_(context) {}
    ~MediaPlayback() { stop(); }
    MediaPlayback(const MediaPlayback&) = delete;
    MediaPlayback& operator=(const MediaPlayback&) = delete;

    // Plays an animation (the whole file) looping, each frame scaled to
    // `scaledSize`; `frameChanged` runs for each new frame.
    void playAnimation(const QByteArray& file, QSize scaledSize, std::function<void()> frameChanged);
    // Opens `path` (regular files only) and starts it playing muted and
    // looping. On failure, the text to show instead, naming `name`; a
    // failure while it plays reaches `handlers.failed` as such a text too.
    std::expected<void, QString> playVideo(const std::string& path, const QString& name,
                                           VideoSource::Handlers handlers);
    // Stops whatever plays; nothing it started calls back afterwards.
    void stop();

    // The frame on show; null before the first and when nothing plays.
    QImage currentFrame() const;

private:
    QObject* context_;
    QMovie* movie_ = nullptr;
    QBuffer* movieBuffer_ = nullptr;
    VideoSource* video_ = nullptr;
};

} // namespace shoebox::media
