// The image view's showing and painting: what is on show (a picture, a
// preview, an animation, a video or a placeholder text) and how it is
// drawn. The rest of the class is in ImageViewWidget.cpp, ImageViewDecoding.cpp
// and ImageViewZoom.cpp.

#include "viewer/ImageViewWidget.h"

#include "viewer/DecodeBudget.h"
#include "viewer/Fitting.h"
#include "viewer/MediaModule.h"
#include "viewer/Trace.h"

#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

#include <cmath>

namespace shoebox {

using imaging::DecodedPicture;
using imaging::Problem;

namespace {

const QColor background(0x2b, 0x2b, 0x2b);
const QColor textColour(0xc8, 0xc8, 0xc8);

} // namespace

// ---- showing ----

void ImageViewWidget::showPicture(const DecodedPicture& picture)
{
    media_.stop();
    if (picture.problem != Problem::None) {
        showPlaceholder(imaging::problemText(picture, currentName(), imaging::decodeCapBytes()));
        return;
    }
    if (!picture.animation.isEmpty()) {
        startMovie(picture);
        return;
    }
    picture_ = picture.image;
    if (picture.originalSize.isValid())
        originalSize_ = picture.originalSize;
    placeholder_.clear();
    showing_ = picture.isPreview ? Showing::Preview : Showing::Picture;
    setAccessibleDescription(currentName());
    update();
}

void ImageViewWidget::showPlaceholder(const QString& text)
{
    resetZoom();
    picture_ = QImage();
    placeholder_ = text;
    showing_ = Showing::Placeholder;
    setAccessibleDescription(text); // what a screen reader says instead of the picture
    update();
}

void ImageViewWidget::startMovie(const DecodedPicture& picture)
{
    media_.playAnimation(picture.animation, imaging::fitSize(picture.originalSize, targetSize()), [this] { update(); });
    picture_ = picture.image; // the first frame, until QMovie has one
    placeholder_.clear();
    showing_ = Showing::Movie;
    setAccessibleDescription(currentName());
    update();
}

void ImageViewWidget::startVideo()
{
    const std::uint64_t generation = generation_;
    media::VideoSource::Handlers handlers;
    handlers.frameChanged = [this, generation] {
        if (generation == generation_ && showing_ == Showing::Video)
            update();
    };
    handlers.failed = [this, generation](const QString& text) {
        if (generation == generation_ && showing_ == Showing::Video)
            showPlaceholder(text);
    };
    // Showing a video before it starts: a backend may fail at once, inside play().
    showing_ = Showing::Video;
    placeholder_.clear();
    if (auto started = media_.playVideo(currentURL().path(), currentName(), std::move(handlers)); !started)
        showPlaceholder(started.error());
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
    painter.fillRect(rect(), background);

    bool painted = false;
    // Zoomed, the picture decoded for the zoom, or the fitted one standing in.
    const QImage image = zoom_ > 0 && !zoomed_.isNull() ? zoomed_ : currentImage();
    if (!image.isNull()) {
        const qreal dpr = devicePixelRatioF();
        const QRectF shown = pictureRect(image); // whole device pixels, so 1:1 stays 1:1 at any ratio
        // Copied as it is when decoded at this size. At 1:1 and above, each
        // image pixel becomes a square of device pixels, so that its
        // sharpness can be judged; otherwise smoothly (a window resized
        // since, a video frame, a picture standing in).
        const QSizeF exact = zoom_ > 0 ? QSizeF(originalSize_) * std::min(zoom_, 1.0) : shown.size();
        const bool asDecoded =
            std::abs(exact.width() - image.width()) <= 1 && std::abs(exact.height() - image.height()) <= 1;
        if (!asDecoded || (zoom_ > 0 && zoom_ < 1))
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(shown.topLeft() / dpr, shown.size() / dpr), image);
        painted = true;
    } else if (showing_ == Showing::Placeholder) {
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter.setFont(font);
        painter.setPen(textColour);
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        painted = true;
    }
    painter.end();

    if (targetSize() != lastTarget_ && !resizeTimer_.isActive())
        resizeTimer_.start(); // e.g. moved to a screen with another pixel ratio
    if (painted) {
        if (current_)
            trace::stage(current_->path(), showing_ == Showing::Preview ? "preview painted" : "painted");
        emit framePainted();
    }
}

} // namespace shoebox
