// The image view's showing and painting: what is on show (a picture, a
// preview, an animation, a video or a placeholder text) and how it is
// drawn. The rest of the class is in ImageViewWidget.cpp.

#include "viewer/ImageViewWidget.h"

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
        showPlaceholder(imaging::problemText(picture, currentName()));
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
