// Video playback through Qt Multimedia, built as the runtime-loaded module
// libshoebox_video.so (see MediaModule.h): Qt Multimedia brings Qt Network,
// PulseAudio and the FFmpeg/GStreamer stack, none of which a photo needs.

#include "MediaModule.h"

#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>

#include <type_traits>

namespace shoebox::media {

namespace {

// Plays into a QVideoSink whose frames the image view paints itself. No
// audio output is attached: the video plays muted.
class MediaPlayerSource final : public VideoSource {
public:
    MediaPlayerSource(Handlers handlers, QObject* parent)
        : VideoSource(std::move(handlers), parent), player_(new QMediaPlayer(this))
    {
    }

    // The player goes first, before QObject announces this source as
    // destroyed: the image view closes the descriptor the player reads on
    // that signal.
    ~MediaPlayerSource() override { delete player_; }

    bool isAvailable() const override { return player_->isAvailable(); }

    void play(const QUrl& source) override
    {
        sink_ = new QVideoSink(player_);
        player_->setVideoSink(sink_);
        // `this` as the context: nothing arrives once this source is gone.
        connect(sink_, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
            if (!frame.isValid())
                return;
            frame_ = frame;
            image_ = QImage(); // converted when asked for, i.e. when painted
            notifyFrame();
        });
        connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString& text) {
            if (error != QMediaPlayer::NoError)
                notifyFailed(text);
        });
        connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::InvalidMedia)
                notifyFailed(QString());
        });
        player_->setLoops(QMediaPlayer::Infinite);
        player_->setSource(source);
        // Playing at once shows the first frame as soon as the pipeline has
        // one, without a separate preroll step.
        player_->play();
    }

    QImage currentImage() override
    {
        if (image_.isNull() && frame_.isValid())
            image_ = frame_.toImage();
        return image_;
    }

private:
    QMediaPlayer* player_;
    QVideoSink* sink_ = nullptr;
    QVideoFrame frame_;
    QImage image_;
};

} // namespace

} // namespace shoebox::media

extern "C" __attribute__((visibility("default"))) shoebox::media::VideoSource*
shoebox_video_create_v1(shoebox::media::VideoSource::Handlers handlers, QObject* parent)
{
    return new shoebox::media::MediaPlayerSource(std::move(handlers), parent);
}
// The executable calls it through this type; a mismatch must not build.
static_assert(std::is_same_v<decltype(&shoebox_video_create_v1), shoebox::media::CreateVideoFn>);
