#pragma once

#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Controls.h"
#include "ImageDecoder.h"

class QBuffer;
class QMovie;

namespace shoebox {

namespace imaging {
class DecodeCache;
}
namespace media {
class VideoSource;
}

// The window's image view: shows a picture, plays a video, or shows a
// placeholder text. Decoding runs off the UI thread.
//
// Pictures decode on a pool of two threads owned by the view, at the size
// they are shown, and land in a byte-bounded cache keyed by path and file
// stamp. setNeighbours() decodes the likely next files ahead, so that
// setImage() of one of them shows it without waiting. Videos (mp4, mov)
// play muted and looping through the video module (Qt Multimedia, loaded
// on first need), whose frames this widget paints itself; animated
// pictures play through QMovie.
class ImageViewWidget : public QWidget, public ImageView {
    Q_OBJECT
public:
    explicit ImageViewWidget(QWidget* parent = nullptr);
    ~ImageViewWidget() override;

    void setImage(const FileURL& url) override;
    void setNeighbours(const std::vector<FileURL>& likelyNext) override;

    // ---- for tests and the benchmark ----

    // The file last given to setImage (the root folder before that).
    FileURL currentURL() const;
    // The text shown instead of the file; empty while a picture or video
    // frame shows, and while the current file is still decoding.
    QString placeholderText() const;
    // The picture (or animation or video frame) on show, at the size it is
    // painted in device pixels; null for a placeholder or while decoding.
    QImage currentImage() const;
    // True when a picture for the file as it is now on disk is cached.
    bool isCached(const FileURL& url) const;
    // Cache bound in bytes (about 100 MB unless changed) and current use.
    void setCacheLimit(qint64 bytes);
    qint64 cacheLimit() const;
    qint64 cacheBytes() const;
    // Decodes queued or running on the view's pool.
    int pendingDecodes() const { return int(jobs_.size()); }

signals:
    // The current file's frame (picture, video frame or placeholder) has been painted.
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Job;
    enum class Showing { Nothing, Preview, Picture, Movie, Video, Placeholder };

    QSize targetSize() const;
    bool wanted(const std::string& path) const;
    bool satisfies(const imaging::DecodedPicture& picture) const;
    void request(const std::string& path, const imaging::FileStamp& stamp, int priority);
    void runJob(const std::shared_ptr<Job>& job);
    void onDecoded(const std::shared_ptr<Job>& job, std::shared_ptr<const imaging::DecodedPicture> result);
    void dropUnwantedJobs();
    void showPicture(const imaging::DecodedPicture& picture);
    void showPlaceholder(const QString& text);
    void startMovie(const imaging::DecodedPicture& picture);
    void startVideo();
    void stopMedia();
    void refreshForNewSize();
    QString currentName() const;

    QThreadPool pool_;
    std::unique_ptr<imaging::DecodeCache> cache_;
    std::map<std::string, std::shared_ptr<Job>> jobs_; // at most one live job per path

    std::optional<FileURL> current_;
    std::string currentPath_;
    imaging::FileStamp currentStamp_;
    std::uint64_t generation_ = 0; // bumped by every setImage
    std::vector<std::string> neighbours_;

    Showing showing_ = Showing::Nothing;
    QImage picture_;
    QString placeholder_;

    QMovie* movie_ = nullptr;
    QBuffer* movieBuffer_ = nullptr;
    media::VideoSource* video_ = nullptr;

    QSize lastTarget_;
    QTimer resizeTimer_;
    bool modulesRequested_ = false; // the HEIC and video modules load after the first paint
};

} // namespace shoebox
