// The image view: its queues and caches, the step to another file, and what
// the window and the tests ask of it. What is decoded and when is in
// ImageViewDecoding.cpp, showing and painting in ImageViewDisplay.cpp, zoom
// in ImageViewZoom.cpp.

#include "viewer/ImageViewWidget.h"

#include "viewer/DecodeCache.h"
#include "viewer/Trace.h"

#include <QTimer>

#include <algorithm>
#include <thread>

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
// Stand-ins are screen-size (6 MB in a 1600x1000 view): the file on show,
// those ahead and a few just passed.
constexpr qint64 glanceCacheBytes = qint64(32) << 20;
// Steps closer together than this come faster than a 24 MP photo decodes
// (a held key repeats every 33 ms): the neighbours wait until the steps
// pause for as long.
constexpr auto rapidStep = std::chrono::milliseconds(150);

} // namespace

ImageViewWidget::ImageViewWidget(QWidget* parent, Decoders decoders)
    : QWidget(parent), cache_(std::make_unique<imaging::DecodeCache>(defaultCacheBytes)),
      previews_(std::make_unique<imaging::DecodeCache>(previewCacheBytes)),
      glances_(std::make_unique<imaging::DecodeCache>(glanceCacheBytes)),
      queue_(
          2, [this](const std::string& path, const imaging::DecodeQueue::Picture& result) { onDecoded(path, result); },
          patientWhileGlancing(std::move(decoders.picture))),
      previewQueue_(
          1, [this](const std::string& path, const imaging::DecodeQueue::Picture& result) { onPreview(path, result); },
          std::move(decoders.preview)),
      glanceQueue_(
          int(std::max(2u, std::thread::hardware_concurrency())),
          [this](const std::string& path, const imaging::DecodeQueue::Picture& result) { onGlance(path, result); },
          std::move(decoders.glance))
{
    imaging::installDecodeLimits();

    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(int(rapidStep.count()));
    connect(&settleTimer_, &QTimer::timeout, this, &ImageViewWidget::settle);
    keyStopTimer_.setSingleShot(true);
    connect(&keyStopTimer_, &QTimer::timeout, this, [this] {
        keyStopped_ = true;
        updateGlancesFirst();
    });

    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent fills every pixel
    setAccessibleName(tr("Photo"));

    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(120);
    connect(&resizeTimer_, &QTimer::timeout, this, &ImageViewWidget::refreshForNewSize);
}

ImageViewWidget::~ImageViewWidget() = default;

void ImageViewWidget::setImage(const FileURL& url)
{
    const auto now = std::chrono::steady_clock::now();
    const auto sinceLast = now - lastStep_;
    rapid_ = current_ && sinceLast < rapidStep;
    lastStep_ = now;
    keyStopped_ = false;
    if (rapid_) {
        settleTimer_.start();
        // A key repeats at a steady rate: half an interval more without a
        // step, and it has stopped.
        keyStopTimer_.start(
            std::clamp(int(std::chrono::duration_cast<std::chrono::milliseconds>(sinceLast).count()) * 3 / 2, 20,
                       int(rapidStep.count())));
    }
    media_.stop();
    ++generation_;
    decodingCurrent_ = false;
    previous_ = current_ ? current_->path() : std::string();
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
    // Not decoded yet: its embedded preview or a stand-in shows meanwhile.
    // (The full decode is asked for first, so that its thread is woken
    // first; while a key is held it waits for the stand-ins, see
    // patientWhileGlancing.)
    request(path, stamp, imaging::priority::currentFile);
    decodingCurrent_ = true;
    const auto glance = glances_->find(path, stamp);
    const auto preview = previews_->find(path, stamp);
    if (preview && preview->originalSize.isValid())
        setInfo(preview->info);
    if (glance && !glance->image.isNull())
        showPicture(*glance);
    else if (preview && !preview->image.isNull())
        showPicture(*preview);
    if (!preview)
        requestPreview(path, stamp, imaging::priority::currentFile);
    else if (preview->image.isNull())
        requestGlance(path, stamp);
    updateGlancesFirst();
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

std::shared_ptr<const DecodedPicture> ImageViewWidget::peek(const imaging::DecodeCache& cache, const FileURL& url)
{
    FileStamp stamp;
    if (imaging::statPath(url.path(), &stamp) != Problem::None)
        return nullptr;
    return cache.peek(url.path(), stamp);
}

bool ImageViewWidget::isCached(const FileURL& url) const
{
    return bool(peek(*cache_, url));
}

bool ImageViewWidget::hasPreview(const FileURL& url) const
{
    const auto preview = peek(*previews_, url);
    return preview && !preview->image.isNull();
}

bool ImageViewWidget::hasStandIn(const FileURL& url) const
{
    const auto glance = peek(*glances_, url);
    return glance && !glance->image.isNull();
}

QString ImageViewWidget::currentName() const
{
    // Names need not be UTF-8; invalid bytes show as U+FFFD.
    return current_ ? QString::fromUtf8(current_->lastPathComponent()) : QString();
}

} // namespace shoebox
