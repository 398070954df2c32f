// Video playback through Qt Multimedia, and video posters through
// GStreamer (the backend Qt Multimedia plays with on Debian 12), built as
// the runtime-loaded module libshoebox_video.so (see MediaModule.h): Qt
// Multimedia brings Qt Network, PulseAudio and the GStreamer stack, none of
// which a photo needs.

#include "viewer/MediaModule.h"

#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video-info.h>

#include <QTimeZone>

#include <cmath>
#include <cstdio>
#include <memory>
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

// ---- posters ----

struct GstUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};

// Owns a pipeline and takes it down to NULL, which joins its threads.
struct Pipeline {
    GstElement* element = nullptr;
    ~Pipeline()
    {
        if (element) {
            gst_element_set_state(element, GST_STATE_NULL);
            gst_object_unref(element);
        }
    }
};

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};

QString tagText(const GstTagList* tags, const char* tag)
{
    gchar* raw = nullptr;
    if (!tags || !gst_tag_list_get_string(tags, tag, &raw))
        return {};
    const std::unique_ptr<gchar, GFree> text(raw);
    return QString::fromUtf8(text.get()).simplified();
}

// When the video was made, as its container says: a moment in UTC as this
// machine's clock shows it, or the camera's own clock when it names its
// offset.
std::optional<imaging::TakenAt> takenOf(const GstTagList* tags)
{
    GstDateTime* raw = nullptr;
    if (!tags || !gst_tag_list_get_date_time(tags, GST_TAG_DATE_TIME, &raw))
        return std::nullopt;
    const std::unique_ptr<GstDateTime, decltype(&gst_date_time_unref)> when(raw, &gst_date_time_unref);
    if (!gst_date_time_has_second(when.get()))
        return std::nullopt; // a date alone says too little
    const int offset = int(std::lround(gst_date_time_get_time_zone_offset(when.get()) * 3600));
    const QDateTime utc = QDateTime(QDate(gst_date_time_get_year(when.get()), gst_date_time_get_month(when.get()),
                                          gst_date_time_get_day(when.get())),
                                    QTime(gst_date_time_get_hour(when.get()), gst_date_time_get_minute(when.get()),
                                          gst_date_time_get_second(when.get())),
                                    QTimeZone(offset))
                              .toUTC();
    if (!utc.isValid())
        return std::nullopt;
    return imaging::takenFromUtc(utc, offset == 0 ? QTimeZone::systemTimeZone() : QTimeZone(offset));
}

// What the container's headers say (GStreamer's discoverer reads them
// without decoding a frame): creation time, camera, picture size upright.
imaging::PhotoInfo discover(int fd)
{
    imaging::PhotoInfo info;
    GError* error = nullptr;
    const std::unique_ptr<GstDiscoverer, GstUnref> discoverer(gst_discoverer_new(5 * GST_SECOND, &error));
    g_clear_error(&error);
    if (!discoverer)
        return info;
    char uri[64];
    std::snprintf(uri, sizeof uri, "file:///proc/self/fd/%d", fd);
    const std::unique_ptr<GstDiscovererInfo, GstUnref> found(
        gst_discoverer_discover_uri(discoverer.get(), uri, &error));
    g_clear_error(&error);
    if (!found)
        return info;
    const GstTagList* tags = gst_discoverer_info_get_tags(found.get());
    info.taken = takenOf(tags);
    info.make = tagText(tags, GST_TAG_DEVICE_MANUFACTURER);
    info.model = tagText(tags, GST_TAG_DEVICE_MODEL);
    if (GList* videos = gst_discoverer_info_get_video_streams(found.get())) {
        auto* video = static_cast<GstDiscovererVideoInfo*>(videos->data);
        info.pixels =
            QSize(int(gst_discoverer_video_info_get_width(video)), int(gst_discoverer_video_info_get_height(video)));
        const QString turn =
            tagText(gst_discoverer_stream_info_get_tags(GST_DISCOVERER_STREAM_INFO(video)), GST_TAG_IMAGE_ORIENTATION);
        if (turn.endsWith(QLatin1String("-90")) || turn.endsWith(QLatin1String("-270")))
            info.pixels.transpose(); // a phone held upright
        gst_discoverer_stream_info_list_free(videos);
    }
    return info;
}

// Decodes up to the first frame (the pipeline's preroll), turns it as the
// track's matrix says (qtdemux tells videoflip through an orientation tag;
// Qt Multimedia turns its frames by the same tag, so the poster and the
// playing video agree) and converts it to 32-bit xRGB; the player is left
// alone. The file is read through /proc/self/fd, so the name's bytes never
// need to be text.
imaging::DecodedPicture firstFrame(const DecodeHost& host, int fd, const imaging::DecodeRequest& request,
                                   const imaging::CancelCheck& cancelled)
{
    imaging::DecodedPicture poster;
    char description[256];
    std::snprintf(description, sizeof description,
                  "filesrc location=/proc/self/fd/%d ! decodebin ! videoconvert ! videoflip video-direction=auto "
                  "! video/x-raw,format=%s "
                  "! appsink name=sink sync=false max-buffers=1",
                  fd, Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "BGRx" : "xRGB");
    Pipeline pipeline{gst_parse_launch(description, nullptr)};
    if (!pipeline.element)
        return poster;
    const std::unique_ptr<GstElement, GstUnref> sink(gst_bin_get_by_name(GST_BIN(pipeline.element), "sink"));
    const std::unique_ptr<GstBus, GstUnref> bus(gst_element_get_bus(pipeline.element));
    if (!sink || !bus || gst_element_set_state(pipeline.element, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return poster;

    // Polled, so that a poster nobody wants any more stops within 20 ms;
    // given up after five seconds.
    std::unique_ptr<GstSample, SampleUnref> sample;
    for (int waited = 0; !sample && waited < 5000; waited += 20) {
        if ((cancelled && cancelled()) || gst_app_sink_is_eos(GST_APP_SINK(sink.get())))
            break;
        if (GstMessage* error = gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR)) {
            gst_message_unref(error);
            break;
        }
        sample.reset(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink.get()), 20 * GST_MSECOND));
    }
    GstVideoInfo info;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
        return poster;
    const QSize size(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    const QSize shown = size.scaled(request.target, Qt::KeepAspectRatio);
    if (size.isEmpty())
        return poster;
    const imaging::DecodeReservation reservation =
        host.reserve(std::int64_t(shown.width()) * shown.height() * 4, cancelled);
    if (reservation.problem() != imaging::Problem::None)
        return poster;
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const QImage frame(map.data, size.width(), size.height(), GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
                           QImage::Format_RGB32);
        poster.image = host.fitForDisplay(frame, request.target, request.devicePixelRatio);
        if (poster.image.constBits() == map.data)
            poster.image = poster.image.copy();
        poster.decodedSize = poster.originalSize = size;
        gst_buffer_unmap(buffer, &map);
    }
    return poster;
}

imaging::DecodedPicture posterOf(const DecodeHost& host, int fd, const imaging::DecodeRequest& request,
                                 const imaging::CancelCheck& cancelled)
{
    static const bool initialised = gst_init_check(nullptr, nullptr, nullptr);
    if (!initialised)
        return {};
    imaging::DecodedPicture poster = firstFrame(host, fd, request, cancelled);
    if (!(cancelled && cancelled()))
        poster.info = discover(fd);
    return poster;
}

} // namespace

} // namespace shoebox::media

extern "C" __attribute__((visibility("default"))) shoebox::media::VideoSource*
shoebox_video_create_v1(shoebox::media::VideoSource::Handlers handlers, QObject* parent)
{
    return new shoebox::media::MediaPlayerSource(std::move(handlers), parent);
}
// The executable calls it through this type; a mismatch must not build.
static_assert(std::is_same_v<decltype(&shoebox_video_create_v1), shoebox::media::CreateVideoFn>);

extern "C" __attribute__((visibility("default"))) void
shoebox_video_poster_v4(const shoebox::media::DecodeHost& host, int fd, const shoebox::imaging::DecodeRequest& request,
                        const shoebox::imaging::CancelCheck& cancelled, shoebox::imaging::DecodedPicture* out)
{
    *out = shoebox::media::posterOf(host, fd, request, cancelled);
}
static_assert(std::is_same_v<decltype(&shoebox_video_poster_v4), shoebox::media::VideoPosterFn>);
