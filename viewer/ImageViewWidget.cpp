#include "viewer/ImageViewWidget.h"

#include "platform/MediaTypes.h"
#include "viewer/DecodeBudget.h"
#include "viewer/DecodeCache.h"
#include "viewer/MediaModule.h"
#include "viewer/Trace.h"

#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cctype>

namespace shoebox {

using imaging::DecodedPicture;
using imaging::FileStamp;
using imaging::Problem;

namespace {

// About a dozen screen-size pictures: the neighbours plus the recent past.
// Bigger buys little, since the neighbours are what a press needs, and keeps
// the whole process near 125 MB.
constexpr qint64 defaultCacheBytes = qint64(64) << 20;
// Embedded previews are about 80 KB each: some fifty files' worth.
constexpr qint64 previewCacheBytes = qint64(4) << 20;
// Steps closer together than this come faster than a 24 MP photo decodes
// (a held key repeats every 33 ms): the neighbours wait until the steps
// pause for as long.
constexpr auto rapidStep = std::chrono::milliseconds(150);

bool isVideoPath(const std::string& path)
{
    return mediaKindOf(FileURL::fileURLWithPath(path)) == MediaKind::Video;
}

// Problems the decoder reports about the file itself rather than its
// content; they can change any moment, so they are not cached.
bool isCacheable(Problem p)
{
    return p == Problem::None || p == Problem::Damaged || p == Problem::TooLarge || p == Problem::NoHeifSupport;
}

} // namespace

ImageViewWidget::ImageViewWidget(QWidget* parent, Decoders decoders)
    : QWidget(parent), cache_(std::make_unique<imaging::DecodeCache>(defaultCacheBytes)),
      previews_(std::make_unique<imaging::DecodeCache>(previewCacheBytes)),
      queue_(
          2, [this](const std::string& path, const imaging::DecodeQueue::Picture& result) { onDecoded(path, result); },
          std::move(decoders.picture)),
      previewQueue_(
          1, [this](const std::string& path, const imaging::DecodeQueue::Picture& result) { onPreview(path, result); },
          std::move(decoders.preview))
{
    imaging::installDecodeLimits();

    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(int(rapidStep.count()));
    connect(&settleTimer_, &QTimer::timeout, this, [this] {
        rapid_ = false;
        requestNeighbours();
    });

    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent fills every pixel
    setAccessibleName(tr("Photo"));

    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(120);
    connect(&resizeTimer_, &QTimer::timeout, this, &ImageViewWidget::refreshForNewSize);
}

ImageViewWidget::~ImageViewWidget() = default;

// ---- public interface ----

void ImageViewWidget::setImage(const FileURL& url)
{
    const auto now = std::chrono::steady_clock::now();
    rapid_ = current_ && now - lastStep_ < rapidStep;
    lastStep_ = now;
    if (rapid_)
        settleTimer_.start();
    media_.stop();
    ++generation_;
    decodingCurrent_ = false;
    current_ = url;
    const std::string& path = current_->path();
    trace::begin(path, "asked for");
    currentStamp_ = {};
    picture_ = QImage();
    placeholder_.clear();
    showing_ = Showing::Nothing; // never the previous file's picture
    resetZoom();
    setInfo(std::nullopt);
    setAccessibleDescription(currentName());
    update();

    FileStamp stamp;
    const Problem problem = imaging::statPath(path, &stamp);
    dropUnwantedJobs();
    if (problem != Problem::None) {
        showPlaceholder(imaging::problemText(problem, currentName()));
        return;
    }
    currentStamp_ = stamp;

    if (isVideoPath(path)) {
        // Its first frame, decoded ahead, shows until the player has one.
        // Not decoded yet: decoded now, for its info as much as its frame.
        if (auto poster = cache_->find(path, stamp)) {
            picture_ = poster->image;
            setInfo(poster->info);
        } else {
            request(path, stamp, imaging::priority::currentFile);
        }
        startVideo();
        return;
    }
    if (auto hit = cache_->find(path, stamp)) {
        if (hit->problem == Problem::None)
            setInfo(hit->info);
        showPicture(*hit);
        if (!satisfies(*hit))
            request(path, stamp, imaging::priority::currentFile);
        return;
    }
    // Not decoded yet: its embedded preview stands in meanwhile. (The full
    // decode is asked for first, so that its thread is woken first.)
    request(path, stamp, imaging::priority::currentFile);
    decodingCurrent_ = true;
    if (auto preview = previews_->find(path, stamp)) {
        if (preview->originalSize.isValid())
            setInfo(preview->info);
        if (!preview->image.isNull())
            showPicture(*preview);
    } else {
        requestPreview(path, stamp, imaging::priority::currentFile);
    }
}

void ImageViewWidget::setNeighbours(const std::vector<FileURL>& likelyNext)
{
    neighbours_.clear();
    for (const FileURL& url : likelyNext)
        neighbours_.push_back(url.path());

    std::vector<std::string> preferred = neighbours_;
    if (current_)
        preferred.push_back(current_->path());
    cache_->setPreferred(preferred);
    previews_->setPreferred(preferred);
    requestNeighbours();
}

void ImageViewWidget::requestNeighbours()
{
    dropUnwantedJobs();
    int rank = 0;
    for (const std::string& path : neighbours_) {
        ++rank;
        const bool video = isVideoPath(path);
        if (video)
            media::preloadModules(); // its player should not wait for the load either
        if (isCurrent(path))
            continue;
        FileStamp stamp;
        if (imaging::statPath(path, &stamp) != Problem::None)
            continue; // setImage finds out again, without decoding
        if (auto hit = cache_->find(path, stamp); hit && (video || satisfies(*hit)))
            continue;
        if (!video && !previews_->find(path, stamp))
            requestPreview(path, stamp, imaging::priority::neighbour - rank);
        if (!rapid_ && !decodingCurrent_)
            request(path, stamp, imaging::priority::neighbour - rank);
    }
}

FileURL ImageViewWidget::currentURL() const
{
    return current_ ? *current_ : FileURL::fileURLWithPath("/");
}

QString ImageViewWidget::placeholderText() const
{
    return showing_ == Showing::Placeholder ? placeholder_ : QString();
}

QImage ImageViewWidget::currentImage() const
{
    switch (showing_) {
    case Showing::Preview:
    case Showing::Picture:
        return picture_;
    case Showing::Movie:
    case Showing::Video:
        if (QImage frame = media_.currentFrame(); !frame.isNull())
            return frame;
        return picture_; // the first frame or the poster, until QMovie or the player has one
    case Showing::Nothing:
    case Showing::Placeholder:
        break;
    }
    return {};
}

bool ImageViewWidget::isCached(const FileURL& url) const
{
    FileStamp stamp;
    if (imaging::statPath(url.path(), &stamp) != Problem::None)
        return false;
    return bool(cache_->peek(url.path(), stamp));
}

bool ImageViewWidget::hasPreview(const FileURL& url) const
{
    FileStamp stamp;
    if (imaging::statPath(url.path(), &stamp) != Problem::None)
        return false;
    const auto preview = previews_->peek(url.path(), stamp);
    return preview && !preview->image.isNull();
}

// ---- decoding ----

QSize ImageViewWidget::targetSize() const
{
    QSize logical = size();
    // Before the layout has given the view its size, decode for the screen
    // rather than for a default 100x30; a resize re-requests anyway.
    if (logical.width() < 32 || logical.height() < 32) {
        if (const QScreen* s = screen())
            logical = s->availableGeometry().size();
    }
    return (QSizeF(logical) * devicePixelRatioF()).toSize();
}

bool ImageViewWidget::wanted(const std::string& path) const
{
    return isCurrent(path) || (!rapid_ && isNeighbour(path));
}

bool ImageViewWidget::isCurrent(const std::string& path) const
{
    return current_ && path == current_->path();
}

bool ImageViewWidget::isNeighbour(const std::string& path) const
{
    return std::find(neighbours_.begin(), neighbours_.end(), path) != neighbours_.end();
}

bool ImageViewWidget::satisfies(const DecodedPicture& picture) const
{
    // Placeholders do not depend on the size, and QMovie scales animations
    // frame by frame.
    if (picture.problem != Problem::None || !picture.animation.isEmpty())
        return true;
    return picture.target == targetSize();
}

void ImageViewWidget::request(const std::string& path, const FileStamp& stamp, int priority)
{
    queue_.request({path, targetSize(), devicePixelRatioF(), isVideoPath(path)}, stamp, priority);
}

void ImageViewWidget::requestPreview(const std::string& path, const FileStamp& stamp, int priority)
{
    previewQueue_.request({path, targetSize(), devicePixelRatioF()}, stamp, priority);
}

void ImageViewWidget::onPreview(const std::string& path, const imaging::DecodeQueue::Picture& result)
{
    // Whether or not the file has one: it is not asked again.
    if (result->problem == Problem::None)
        previews_->insert(path, result);
    // Only while nothing else shows, and only if it is the file on show now
    // (problems are the full decode's to report).
    if (!isCurrent(path) || !(result->stamp == currentStamp_) || result->problem != Problem::None)
        return;
    // A preview that read the file's header has its info: the full decode's
    // says no more.
    if (!info_ && result->originalSize.isValid())
        setInfo(result->info);
    if (showing_ == Showing::Nothing && !result->image.isNull())
        showPicture(*result);
}

void ImageViewWidget::onDecoded(const std::string& path, const imaging::DecodeQueue::Picture& result)
{
    trace::stage(path, result->isPreview ? "preview delivered" : "delivered");
    if (isVideoPath(path)) {
        // A poster. Problems are the player's to report.
        if (result->problem != Problem::None)
            return;
        if (isCurrent(path) && result->stamp == currentStamp_)
            setInfo(result->info);
        if (result->image.isNull())
            return;
        cache_->insert(path, result);
        if (isCurrent(path) && result->stamp == currentStamp_ && showing_ == Showing::Video &&
            media_.currentFrame().isNull()) {
            picture_ = result->image;
            update();
        }
        return;
    }
    // A zoomed picture is the file's at another size than the view's, and
    // likely larger than the whole cache: it is kept while it shows.
    const bool forZoom = isZoomResult(path, *result);
    if (!result->isPreview && isCacheable(result->problem) && !forZoom)
        cache_->insert(path, result);
    if (!isCurrent(path))
        return;
    if (decodingCurrent_ && !result->isPreview) {
        // The file on show is done: the neighbours' turn.
        decodingCurrent_ = false;
        requestNeighbours();
    }

    if (!isCacheable(result->problem)) {
        // The file went away or changed kind since setImage looked at it.
        showPlaceholder(imaging::problemText(*result, currentName()));
        return;
    }
    if (!(result->stamp == currentStamp_)) {
        // Replaced between setImage's stat and the decoder's open. Show it
        // only if it is still what is on disk now.
        FileStamp now;
        const Problem problem = imaging::statPath(path, &now);
        if (problem != Problem::None) {
            showPlaceholder(imaging::problemText(problem, currentName()));
            return;
        }
        currentStamp_ = now;
        if (!(now == result->stamp)) {
            request(path, now, imaging::priority::currentFile);
            return;
        }
    }
    if (forZoom) {
        if (result->problem == Problem::None && result->stamp == currentStamp_) {
            zoomed_ = result->image;
            update();
        }
        return; // a picture too large to zoom into stays as it is
    }
    if (result->problem == Problem::None && (!result->isPreview || !info_))
        setInfo(result->info);
    if (result->isPreview) {
        if (showing_ == Showing::Nothing)
            showPicture(*result);
        return;
    }
    showPicture(*result);
    if (!satisfies(*result))
        request(path, currentStamp_, imaging::priority::currentFile); // resized meanwhile
}

void ImageViewWidget::setInfo(std::optional<imaging::PhotoInfo> info)
{
    if (!info && !info_)
        return;
    info_ = std::move(info);
    emit infoChanged();
}

void ImageViewWidget::dropUnwantedJobs()
{
    queue_.retainOnly([this](const std::string& path) { return wanted(path); });
    previewQueue_.retainOnly([this](const std::string& path) { return isCurrent(path) || isNeighbour(path); });
}

void ImageViewWidget::refreshForNewSize()
{
    lastTarget_ = targetSize();
    // Zoomed, the fitted picture waits: asking for it would replace the
    // zoomed one's decode.
    if (current_ && zoom_ == 0 &&
        (showing_ == Showing::Picture || showing_ == Showing::Preview || showing_ == Showing::Nothing)) {
        auto hit = cache_->find(current_->path(), currentStamp_);
        if (!hit || !satisfies(*hit))
            request(current_->path(), currentStamp_, imaging::priority::currentFile);
    }
    requestNeighbours();
}

QString ImageViewWidget::currentName() const
{
    // Names need not be UTF-8; invalid bytes show as U+FFFD.
    return current_ ? QString::fromUtf8(current_->lastPathComponent()) : QString();
}

} // namespace shoebox
