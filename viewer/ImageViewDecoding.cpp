// The image view's decoding: what it asks of its three decode queues and
// when (the file on show, its neighbours, and stand-ins while a key is
// held), and what it does with what comes back. The rest of the class is in
// ImageViewWidget.cpp (the steps), ImageViewDisplay.cpp (showing) and
// ImageViewZoom.cpp.

#include "viewer/ImageViewWidget.h"

#include "platform/MediaTypes.h"
#include "viewer/DecodeBudget.h"
#include "viewer/DecodeCache.h"
#include "viewer/MediaModule.h"
#include "viewer/Trace.h"

#include <QScreen>

namespace shoebox {

using imaging::DecodedPicture;
using imaging::FileStamp;
using imaging::Problem;

namespace {

// Problems the decoder reports about the file itself rather than its
// content; they can change any moment, so they are not cached.
bool isCacheable(Problem p)
{
    return p == Problem::None || p == Problem::Damaged || p == Problem::TooLarge || p == Problem::NoHeifSupport;
}

} // namespace

bool ImageViewWidget::isVideoPath(const std::string& path)
{
    return mediaKindOf(FileURL::fileURLWithPath(path)) == MediaKind::Video;
}

// While a key is held, the file on show is decoded sharp too, as the sharp
// picture should come as soon as the key stops; but only on a core the
// stand-ins ahead leave free: its decode waits at its next check while any
// is pending, so that a decode the next press throws away takes nothing
// from them.
imaging::DecodeQueue::DecodeFn ImageViewWidget::patientWhileGlancing(imaging::DecodeQueue::DecodeFn decode)
{
    return
        [this, decode = std::move(decode)](const imaging::DecodeRequest& request, const imaging::CancelCheck& cancelled,
                                           const imaging::PreviewSink& preview) {
            const imaging::CancelCheck patient = [&] {
                while (glancesFirst_ && !cancelled())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return cancelled();
            };
            return decode(request, patient, preview);
        };
}

void ImageViewWidget::updateGlancesFirst()
{
    glancesFirst_ = rapid_ && !keyStopped_ && glanceQueue_.pending() > 0;
}

// The steps have paused: the file on show is decoded sharp, then its
// neighbours.
void ImageViewWidget::settle()
{
    rapid_ = false;
    updateGlancesFirst();
    if (current_ && (showing_ == Showing::Nothing || showing_ == Showing::Preview)) {
        const auto hit = cache_->find(current_->path(), currentStamp_);
        if (!hit || !satisfies(*hit)) {
            request(current_->path(), currentStamp_, imaging::priority::currentFile);
            decodingCurrent_ = true;
        }
    }
    requestNeighbours();
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
    glances_->setPreferred(preferred);
    requestNeighbours();
}

void ImageViewWidget::requestNeighbours()
{
    dropUnwantedJobs();
    int rank = 0;
    // Nothing here reads the disk: on a slow disk a stat of each neighbour
    // would hold up the window. Their decodes look at the files instead,
    // and setImage at the one it shows.
    const FileStamp unknown;
    for (const std::string& path : neighbours_) {
        ++rank;
        const bool video = isVideoPath(path);
        if (video)
            media::preloadModules(); // its player should not wait for the load either
        if (isCurrent(path))
            continue;
        if (auto hit = cache_->peekAny(path); hit && (video || satisfies(*hit)))
            continue;
        const auto preview = video ? nullptr : previews_->peekAny(path);
        if (!video && !preview)
            requestPreview(path, unknown, imaging::priority::neighbour - rank);
        else if (preview && preview->image.isNull())
            requestGlance(path, unknown);
        if (!rapid_ && !decodingCurrent_)
            request(path, unknown, imaging::priority::neighbour - rank);
    }
}

// A held key can outrun the stand-ins too (a 24 MP JPEG takes some 70 ms
// even at 1/8: reading its data is most of the work). Those furthest ahead
// go first: one started for the next file would be stepped past before it
// is done, while one three steps ahead is ready when the key gets there.
// So when the cores fall short, a photo now and then is skipped at the
// start instead of every decode being overtaken halfway.
void ImageViewWidget::requestGlance(const std::string& path, const FileStamp& stamp)
{
    if (!rapid_ || !(isCurrent(path) || isAhead(path)) || glances_->peekAny(path))
        return;
    int priority = imaging::priority::neighbour - int(neighbours_.size()); // the file on show: last
    int ahead = 0;
    for (const std::string& neighbour : neighbours_) {
        if (!isAhead(neighbour))
            continue;
        ++ahead;
        if (neighbour == path)
            priority = imaging::priority::neighbour + ahead;
    }
    glanceQueue_.request({path, targetSize(), devicePixelRatioF()}, stamp, priority);
    updateGlancesFirst();
}

// A neighbour the key is heading for: not the one it just left.
bool ImageViewWidget::isAhead(const std::string& path) const
{
    return isNeighbour(path) && path != previous_;
}

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
    if (result->problem == Problem::None && result->image.isNull())
        requestGlance(path, result->stamp);
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

void ImageViewWidget::onGlance(const std::string& path, const imaging::DecodeQueue::Picture& result)
{
    updateGlancesFirst();
    if (result->problem != Problem::None)
        return;
    glances_->insert(path, result); // also when it has none: it is not asked again
    if (result->image.isNull())
        return;
    // Over an embedded preview too: a stand-in is sharper. Never over the
    // full picture.
    if (isCurrent(path) && result->stamp == currentStamp_ &&
        (showing_ == Showing::Nothing || showing_ == Showing::Preview))
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
        showPlaceholder(imaging::problemText(*result, currentName(), imaging::decodeCapBytes()));
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
    glanceQueue_.retainOnly([this](const std::string& path) { return isCurrent(path) || (rapid_ && isAhead(path)); });
    updateGlancesFirst();
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

} // namespace shoebox
