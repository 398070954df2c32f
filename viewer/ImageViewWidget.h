#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileURL.h"
#include "viewer/DecodeQueue.h"
#include "viewer/DecodedPicture.h"
#include "viewer/MediaPlayback.h"

namespace shoebox {

namespace imaging {
class DecodeCache;
}

// What the image view decodes with: the real decoders, or a test's own.
struct ViewDecoders {
    imaging::DecodeQueue::DecodeFn picture = &imaging::decodePicture;
    imaging::DecodeQueue::DecodeFn preview = &imaging::decodePreview;
    imaging::DecodeQueue::DecodeFn glance = &imaging::decodeGlance;
};

// The window's image view: shows a picture, plays a video, or shows a
// placeholder text. Decoding runs off the UI thread.
//
// Pictures decode on two threads owned by the view (DecodeQueue), at the
// size they are shown, and land in a byte-bounded cache keyed by path and
// file stamp (DecodeCache). setNeighbours() decodes the likely next files
// ahead, so that setImage() of one of them shows it without waiting.
//
// A third thread reads the previews embedded in the files (EXIF
// thumbnails), a millisecond each, for the current file and its
// neighbours: a file not decoded yet shows its preview until the full
// picture replaces it. The neighbours' full decodes wait while the file on
// show decodes.
//
// While the user steps faster than photos decode (a held key) nothing is
// decoded sharp: a decode of a file stepped past would only be thrown away.
// A photo without an embedded preview is decoded instead at the coarsest
// scale that still fills the view at a glance (decodeGlance: 1/8 of a
// 24 MP JPEG), on every core, the file on show and those ahead of it in
// the direction of travel, so that each step shows its own photo at once.
// Once the steps pause, the file on show is decoded sharp, then its
// neighbours. Videos (mp4, mov)
// play muted and looping through the video module (Qt Multimedia, loaded
// on first need), whose frames this widget paints itself; animated
// pictures play through QMovie (both in MediaPlayback).
class ImageViewWidget : public QWidget {
    Q_OBJECT
public:
    using Decoders = ViewDecoders;

    explicit ImageViewWidget(QWidget* parent = nullptr, Decoders decoders = {});
    ~ImageViewWidget() override;

    // Shows the file at `url`: a picture, a video, or a placeholder text when
    // it cannot be shown. Returns at once; decoding happens on the view's threads.
    void setImage(const FileURL& url);
    // The files most likely shown next, most likely first: decoded ahead,
    // and anything else decoded ahead is forgotten.
    void setNeighbours(const std::vector<FileURL>& likelyNext);

    // ---- zoom (ImageViewZoom.cpp) ----
    // A picture shows fitted to the view, or at a fixed scale: image pixels
    // on `zoom()` device pixels each, from 1/8 to 8. At 1:1 and above it is
    // decoded at full size, so the view shows its own pixels, sharp. Every
    // new file starts at fit; videos and animations stay there.

    // Fit to 1:1, holding the point under the mouse pointer where it is
    // when the pointer is over the picture, else the middle; zoomed, back
    // to fit.
    void toggleActualSize();
    // The next step up or down (1/8, 1/4, 1/2, 1, 2, 4, 8), from fit the
    // nearest in that direction; the middle stays where it is.
    void zoomIn();
    void zoomOut();
    // Moves over a zoomed picture by a tenth of the view: `dx` across, `dy`
    // down, each -1, 0 or 1. Dragging with the mouse pans too.
    void pan(int dx, int dy);
    // 0 while fitted.
    double zoom() const { return zoom_; }

    // What the file on show is (its date, camera and size), once a decode
    // has read it: none before, and none for a file that cannot be shown.
    const std::optional<imaging::PhotoInfo>& currentInfo() const { return info_; }

    // ---- for tests and the benchmark ----

    // The file last given to setImage (the root folder before that).
    FileURL currentURL() const;
    // The text shown instead of the file; empty while a picture or video
    // frame shows, and while the current file is still decoding.
    QString placeholderText() const;
    // The picture (or animation or video frame) on show, at the size it is
    // painted in device pixels; null for a placeholder or while decoding.
    QImage currentImage() const;
    // True when a picture for the file as it is now on disk is cached (its
    // full picture, or its embedded preview).
    bool isCached(const FileURL& url) const;
    bool hasPreview(const FileURL& url) const;
    // True when a stand-in for a held key is cached for the file as it is now.
    bool hasStandIn(const FileURL& url) const;
    // Decodes (and preview reads) queued or running on the view's threads,
    // and one for the neighbours' while they wait for the steps to pause.
    int pendingDecodes() const
    {
        return queue_.pending() + previewQueue_.pending() + glanceQueue_.pending() + (settleTimer_.isActive() ? 1 : 0);
    }

signals:
    // The current file's frame (picture, video frame or placeholder) has been painted.
    void framePainted();
    // currentInfo() changed: another file, or its info was read.
    void infoChanged();
    // zoom() changed.
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Showing { Nothing, Preview, Picture, Movie, Video, Placeholder };

    static bool isVideoPath(const std::string& path);
    // The entry `cache` holds for the file now at `url`, if any.
    static std::shared_ptr<const imaging::DecodedPicture> peek(const imaging::DecodeCache& cache, const FileURL& url);
    QSize targetSize() const;
    bool wanted(const std::string& path) const;
    bool isCurrent(const std::string& path) const;
    bool isNeighbour(const std::string& path) const;
    bool satisfies(const imaging::DecodedPicture& picture) const;
    void request(const std::string& path, const imaging::FileStamp& stamp, int priority);
    void requestPreview(const std::string& path, const imaging::FileStamp& stamp, int priority);
    void requestNeighbours();
    // While a key is held: the stand-in of a photo without an embedded
    // preview, unless it has one already or is decoded sharp.
    void requestGlance(const std::string& path, const imaging::FileStamp& stamp);
    bool isAhead(const std::string& path) const;
    void onGlance(const std::string& path, const imaging::DecodeQueue::Picture& result);
    void settle();
    imaging::DecodeQueue::DecodeFn patientWhileGlancing(imaging::DecodeQueue::DecodeFn decode);
    void updateGlancesFirst();
    void onDecoded(const std::string& path, const imaging::DecodeQueue::Picture& result);
    void onPreview(const std::string& path, const imaging::DecodeQueue::Picture& result);
    void dropUnwantedJobs();
    void setInfo(std::optional<imaging::PhotoInfo> info);
    void showPicture(const imaging::DecodedPicture& picture);
    void showPlaceholder(const QString& text);
    void startMovie(const imaging::DecodedPicture& picture);
    void startVideo();
    void refreshForNewSize();
    QString currentName() const;

    bool canZoom() const;
    double fitScale() const;
    // Zooms to `scale` (0: fit), keeping the image point at `anchor` (device
    // pixels in the view) where it is.
    void setZoom(double scale, QPointF anchor);
    void stepZoom(int direction);
    QPointF clampedCentre(QPointF centre) const;
    void requestZoomed();
    bool isZoomResult(const std::string& path, const imaging::DecodedPicture& picture) const;
    void resetZoom();
    // Where `image` (the picture on show) lies in the view, in device pixels.
    QRectF pictureRect(const QImage& image) const;

    std::unique_ptr<imaging::DecodeCache> cache_;
    std::unique_ptr<imaging::DecodeCache> previews_; // embedded previews, and which files have none
    std::unique_ptr<imaging::DecodeCache> glances_;  // stand-ins while a key is held

    std::optional<FileURL> current_;
    std::string previous_; // the file shown before: behind, for a held key
    imaging::FileStamp currentStamp_;
    std::uint64_t generation_ = 0; // bumped by every setImage
    std::vector<std::string> neighbours_;
    // Stepping faster than photos decode: the neighbours wait (see above).
    bool rapid_ = false;
    // The file on show is decoding: the neighbours wait for it rather than
    // take cores from it.
    bool decodingCurrent_ = false;
    std::chrono::steady_clock::time_point lastStep_;
    QTimer settleTimer_;
    // No step for half a key-repeat interval more: the key has stopped, and
    // the file on show decodes sharp on every core it can get.
    QTimer keyStopTimer_;
    bool keyStopped_ = false;
    // Stand-ins are pending while a key is held: sharp decodes wait (read
    // by the decode threads).
    std::atomic<bool> glancesFirst_ = false;

    Showing showing_ = Showing::Nothing;
    std::optional<imaging::PhotoInfo> info_;
    QImage picture_;
    QString placeholder_;

    media::MediaPlayback media_{this};

    double zoom_ = 0;
    QPointF zoomCentre_;           // the image point (upright, stored pixels) in the middle of the view
    QSize originalSize_;           // of the picture on show, upright
    QImage zoomed_;                // decoded for the zoom; the fitted picture stands in until it comes
    QSize zoomTarget_;             // the size it was asked for
    std::optional<QPoint> dragAt_; // where a drag last was

    QSize lastTarget_;
    QTimer resizeTimer_;
    bool modulesRequested_ = false; // the HEIC and video modules load after the first paint

    // Last, so that they go first: no decode delivers to a half-destroyed view.
    imaging::DecodeQueue queue_;
    imaging::DecodeQueue previewQueue_;
    imaging::DecodeQueue glanceQueue_;
};

} // namespace shoebox
