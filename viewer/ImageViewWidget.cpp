#include "ImageViewWidget.h"

#include "DecodeCache.h"
#include "MediaModule.h"

#include <QBuffer>
#include <QMovie>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shoebox {

using imaging::DecodedPicture;
using imaging::FileStamp;
using imaging::Problem;

namespace {

// About a dozen screen-size pictures: the neighbours plus the recent past.
// Bigger buys little, since the neighbours are what a press needs, and keeps
// the whole process near 125 MB.
constexpr qint64 kDefaultCacheBytes = qint64(64) << 20;
constexpr int kCurrentPriority = 100;
constexpr int kNeighbourPriority = 50; // minus the rank: most likely first
const QColor kBackground(0x2b, 0x2b, 0x2b);
const QColor kTextColour(0xc8, 0xc8, 0xc8);

std::string lastComponent(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isVideoPath(const std::string& path)
{
    const std::string name = lastComponent(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == "mp4" || ext == "mov";
}

// Problems the decoder reports about the file itself rather than its
// content; they can change any moment, so they are not cached.
bool isCacheable(Problem p)
{
    return p == Problem::None || p == Problem::Damaged || p == Problem::TooLarge || p == Problem::NoHeifSupport;
}

} // namespace

// One decode on the pool. The UI thread and the worker agree through
// `state` whether it runs at all: the worker moves Queued -> Running, the
// UI thread Queued -> Cancelled, and only one of them can win. `abandoned`
// tells a running decode to stop at its next check.
struct ImageViewWidget::Job {
    enum State : int { Queued, Running, Cancelled };
    std::atomic<int> state{Queued};
    std::atomic<bool> abandoned{false};
    imaging::DecodeRequest request;
    FileStamp stamp; // what stat said when it was asked for
    int priority = 0;

    bool cancelIfQueued()
    {
        int expected = Queued;
        return state.compare_exchange_strong(expected, Cancelled);
    }
};

ImageViewWidget::ImageViewWidget(QWidget* parent)
    : QWidget(parent), cache_(std::make_unique<imaging::DecodeCache>(kDefaultCacheBytes))
{
    imaging::installDecodeLimits();
    // Our own small pool: decodes must not queue behind unrelated work in
    // the global pool, and they die with this view.
    pool_.setMaxThreadCount(2);
    pool_.setObjectName(QStringLiteral("ImageViewDecode"));

    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent fills every pixel
    setAccessibleName(tr("Photo"));

    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(120);
    connect(&resizeTimer_, &QTimer::timeout, this, &ImageViewWidget::refreshForNewSize);
}

ImageViewWidget::~ImageViewWidget()
{
    for (auto& [path, job] : jobs_) {
        job->cancelIfQueued();
        job->abandoned = true;
    }
    jobs_.clear();
    pool_.clear();
    // Results still being posted go to this object; waiting here means
    // none arrives after it is gone (QObject drops its posted events).
    pool_.waitForDone();
    stopMedia();
}

// ---- public interface ----

void ImageViewWidget::setImage(const FileURL& url)
{
    stopMedia();
    ++generation_;
    current_ = url;
    currentPath_ = url.path();
    currentStamp_ = {};
    picture_ = QImage();
    placeholder_.clear();
    showing_ = Showing::Nothing; // never the previous file's picture
    setAccessibleDescription(currentName());
    update();

    FileStamp stamp;
    const Problem problem = imaging::statPath(currentPath_, &stamp);
    dropUnwantedJobs();
    if (problem != Problem::None) {
        showPlaceholder(imaging::problemText(problem, currentName()));
        return;
    }
    currentStamp_ = stamp;

    if (isVideoPath(currentPath_)) {
        startVideo();
        return;
    }
    if (auto hit = cache_->find(currentPath_, stamp)) {
        showPicture(*hit);
        if (!satisfies(*hit))
            request(currentPath_, stamp, kCurrentPriority);
        return;
    }
    request(currentPath_, stamp, kCurrentPriority);
}

void ImageViewWidget::setNeighbours(const std::vector<FileURL>& likelyNext)
{
    neighbours_.clear();
    for (const FileURL& url : likelyNext)
        neighbours_.push_back(url.path());

    std::vector<std::string> preferred = neighbours_;
    if (current_)
        preferred.push_back(currentPath_);
    cache_->setPreferred(preferred);
    dropUnwantedJobs();

    int rank = 0;
    for (const std::string& path : neighbours_) {
        ++rank;
        if (isVideoPath(path)) {
            media::preloadModules(); // its first frame should not wait for the load
            continue;
        }
        if (current_ && path == currentPath_)
            continue;
        FileStamp stamp;
        if (imaging::statPath(path, &stamp) != Problem::None)
            continue; // setImage finds out again, without decoding
        if (auto hit = cache_->find(path, stamp); hit && satisfies(*hit))
            continue;
        request(path, stamp, kNeighbourPriority - rank);
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
        if (movie_) {
            const QImage frame = movie_->currentImage();
            if (!frame.isNull())
                return frame;
        }
        return picture_;
    case Showing::Video:
        return video_ ? video_->currentImage() : QImage();
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

void ImageViewWidget::setCacheLimit(qint64 bytes)
{
    cache_->setLimit(bytes);
}
qint64 ImageViewWidget::cacheLimit() const
{
    return cache_->limit();
}
qint64 ImageViewWidget::cacheBytes() const
{
    return cache_->bytes();
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
    if (current_ && path == currentPath_)
        return true;
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
    const QSize target = targetSize();
    if (auto it = jobs_.find(path); it != jobs_.end()) {
        Job& old = *it->second;
        if (old.stamp == stamp && old.request.target == target && !old.abandoned) {
            if (old.priority >= priority)
                return;
            // Queued at a lower priority: QThreadPool cannot reorder, so
            // cancel it and queue again. Already running: just wait for it.
            if (!old.cancelIfQueued())
                return;
        } else {
            old.cancelIfQueued();
            old.abandoned = true;
        }
    }
    auto job = std::make_shared<Job>();
    job->request.path = path;
    job->request.target = target;
    job->request.devicePixelRatio = devicePixelRatioF();
    job->stamp = stamp;
    job->priority = priority;
    jobs_[path] = job;
    pool_.start(QRunnable::create([this, job] { runJob(job); }), priority);
}

// Runs on a pool thread. Touches nothing of the widget but posting to it.
void ImageViewWidget::runJob(const std::shared_ptr<Job>& job)
{
    int expected = Job::Queued;
    if (!job->state.compare_exchange_strong(expected, Job::Running))
        return; // cancelled before it started
    auto post = [this, job](DecodedPicture picture) {
        auto result = std::make_shared<const DecodedPicture>(std::move(picture));
        QMetaObject::invokeMethod(
            this, [this, job, result] { onDecoded(job, result); }, Qt::QueuedConnection);
    };
    DecodedPicture picture = imaging::decodePicture(
        job->request, [job] { return job->abandoned.load(); }, post);
    post(std::move(picture));
}

void ImageViewWidget::onDecoded(const std::shared_ptr<Job>& job, std::shared_ptr<const DecodedPicture> result)
{
    const std::string& path = job->request.path;
    if (!result->isPreview) {
        if (auto it = jobs_.find(path); it != jobs_.end() && it->second == job)
            jobs_.erase(it);
    }
    // A result nobody wants any more is dropped, never painted.
    if (job->abandoned || result->problem == Problem::Cancelled || !wanted(path))
        return;
    if (!result->isPreview && isCacheable(result->problem))
        cache_->insert(path, result);
    if (!current_ || path != currentPath_)
        return;

    if (!isCacheable(result->problem)) {
        // The file went away or changed kind since setImage looked at it.
        showPlaceholder(imaging::problemText(result->problem, currentName()));
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
            request(path, now, kCurrentPriority);
            return;
        }
    }
    if (result->isPreview) {
        if (showing_ == Showing::Nothing)
            showPicture(*result);
        return;
    }
    showPicture(*result);
    if (!satisfies(*result))
        request(path, currentStamp_, kCurrentPriority); // resized meanwhile
}

void ImageViewWidget::dropUnwantedJobs()
{
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (wanted(it->first)) {
            ++it;
            continue;
        }
        it->second->cancelIfQueued();
        it->second->abandoned = true;
        it = jobs_.erase(it);
    }
}

void ImageViewWidget::refreshForNewSize()
{
    lastTarget_ = targetSize();
    if (current_ && (showing_ == Showing::Picture || showing_ == Showing::Preview || showing_ == Showing::Nothing)) {
        auto hit = cache_->find(currentPath_, currentStamp_);
        if (!hit || !satisfies(*hit))
            request(currentPath_, currentStamp_, kCurrentPriority);
    }
    std::vector<FileURL> again;
    for (const std::string& path : neighbours_)
        again.push_back(FileURL::fileURLWithPath(path));
    setNeighbours(again);
}

// ---- showing ----

QString ImageViewWidget::currentName() const
{
    // Names need not be UTF-8; invalid bytes show as U+FFFD.
    return current_ ? QString::fromUtf8(lastComponent(currentPath_)) : QString();
}

void ImageViewWidget::showPicture(const DecodedPicture& picture)
{
    stopMedia();
    if (picture.problem != Problem::None) {
        showPlaceholder(imaging::problemText(picture.problem, currentName()));
        return;
    }
    if (!picture.animation.isEmpty()) {
        startMovie(picture);
        return;
    }
    picture_ = picture.image;
    placeholder_.clear();
    showing_ = picture.isPreview ? Showing::Preview : Showing::Picture;
    setAccessibleDescription(currentName());
    update();
}

void ImageViewWidget::showPlaceholder(const QString& text)
{
    picture_ = QImage();
    placeholder_ = text;
    showing_ = Showing::Placeholder;
    setAccessibleDescription(text); // what a screen reader says instead of the picture
    update();
}

void ImageViewWidget::startMovie(const DecodedPicture& picture)
{
    movieBuffer_ = new QBuffer(this);
    movieBuffer_->setData(picture.animation);
    movieBuffer_->open(QIODevice::ReadOnly);
    movie_ = new QMovie(movieBuffer_, QByteArray(), this);
    movie_->setCacheMode(QMovie::CacheNone);
    movie_->setScaledSize(imaging::fitSize(picture.originalSize, targetSize()));
    connect(movie_, &QMovie::frameChanged, this, [this] { update(); });
    picture_ = picture.image; // the first frame, until QMovie has one
    placeholder_.clear();
    showing_ = Showing::Movie;
    setAccessibleDescription(currentName());
    movie_->start();
    update();
}

void ImageViewWidget::startVideo()
{
    const QString name = currentName();
    // Opened here, by its raw bytes, and handed to the player as
    // /proc/self/fd/N: names that are not UTF-8 survive, and a FIFO that
    // looks like a video is refused before any backend blocks on it.
    const int fd = ::open(currentPath_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        showPlaceholder(imaging::problemText(errno == ENOENT ? Problem::Missing : Problem::Unreadable, name));
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        showPlaceholder(imaging::problemText(Problem::NotRegular, name));
        return;
    }

    const std::uint64_t generation = generation_;
    media::VideoSource::Handlers handlers;
    handlers.frameChanged = [this, generation] {
        if (generation == generation_ && showing_ == Showing::Video)
            update();
    };
    handlers.failed = [this, generation, name](const QString& why) {
        if (generation != generation_ || showing_ != Showing::Video)
            return;
        showPlaceholder(tr("Can’t play “%1”: %2").arg(name, why.isEmpty() ? tr("unsupported or damaged video") : why));
    };
    video_ = media::createVideoSource(std::move(handlers), this);
    if (!video_) {
        ::close(fd);
        showPlaceholder(tr("Can’t play “%1”: video support is not installed").arg(name));
        return;
    }
    // The backend opens its own descriptor from the /proc path; ours stays
    // open until the player is gone so the number cannot be reused early.
    connect(video_, &QObject::destroyed, [fd] { ::close(fd); });
    if (!video_->isAvailable()) {
        showPlaceholder(tr("Can’t play “%1”: no video decoder is available").arg(name));
        stopMedia();
        return;
    }

    showing_ = Showing::Video;
    placeholder_.clear();
    video_->play(QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(fd)));
}

void ImageViewWidget::stopMedia()
{
    if (movie_) {
        movie_->disconnect(this);
        movie_->stop();
        delete movie_;
        movie_ = nullptr;
    }
    delete movieBuffer_;
    movieBuffer_ = nullptr;
    if (video_) {
        video_->detach();
        // Tearing a pipeline down can take a while; let it happen after
        // the next picture is on screen.
        video_->deleteLater();
        video_ = nullptr;
    }
}

// ---- painting ----

void ImageViewWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (targetSize() != lastTarget_)
        resizeTimer_.start();
}

void ImageViewWidget::paintEvent(QPaintEvent*)
{
    if (!modulesRequested_) {
        // The window is on screen: the HEIC and video modules can load now.
        modulesRequested_ = true;
        QTimer::singleShot(200, this, [] { media::preloadModules(); });
    }
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);

    bool painted = false;
    const QImage image = currentImage();
    if (!image.isNull()) {
        const qreal dpr = devicePixelRatioF();
        const QSize box = (QSizeF(size()) * dpr).toSize();
        QSize fit = imaging::fitSize(image.size(), box);
        if (std::abs(fit.width() - image.width()) <= 1 && std::abs(fit.height() - image.height()) <= 1)
            fit = image.size(); // decoded at this size: a plain copy, no scaling
        else
            painter.setRenderHint(QPainter::SmoothPixmapTransform); // resized since, or a video frame
        // Whole device pixels, so the 1:1 case stays 1:1 at any ratio.
        const QPointF topLeft(std::floor((box.width() - fit.width()) / 2.0),
                              std::floor((box.height() - fit.height()) / 2.0));
        painter.drawImage(QRectF(topLeft / dpr, QSizeF(fit) / dpr), image);
        painted = true;
    } else if (showing_ == Showing::Placeholder) {
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter.setFont(font);
        painter.setPen(kTextColour);
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        painted = true;
    }
    painter.end();

    if (targetSize() != lastTarget_ && !resizeTimer_.isActive())
        resizeTimer_.start(); // e.g. moved to a screen with another pixel ratio
    if (painted)
        emit framePainted();
}

} // namespace shoebox
