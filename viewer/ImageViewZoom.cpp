// The image view's zoom: fit or a fixed scale, panning, and the picture
// decoded for it. The rest of the class is in ImageViewWidget.cpp,
// ImageViewDecoding.cpp and ImageViewDisplay.cpp.

#include "viewer/ImageViewWidget.h"

#include "viewer/Fitting.h"

#include <QCursor>
#include <QMouseEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace shoebox {

using imaging::DecodedPicture;

namespace {

constexpr std::array<double, 7> zoomSteps = {0.125, 0.25, 0.5, 1, 2, 4, 8};

} // namespace

bool ImageViewWidget::canZoom() const
{
    return (showing_ == Showing::Picture || showing_ == Showing::Preview) && !originalSize_.isEmpty();
}

double ImageViewWidget::fitScale() const
{
    return double(imaging::fitSize(originalSize_, targetSize()).width()) / originalSize_.width();
}

void ImageViewWidget::toggleActualSize()
{
    if (!canZoom())
        return;
    const QSize box = targetSize();
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    const QPointF onPicture = QPointF(pointer) * devicePixelRatioF();
    const bool overPicture = rect().contains(pointer) && pictureRect(picture_).contains(onPicture);
    setZoom(zoom_ == 0 ? 1 : 0, overPicture ? onPicture : QPointF(box.width() / 2.0, box.height() / 2.0));
}

void ImageViewWidget::zoomIn()
{
    stepZoom(+1);
}

void ImageViewWidget::zoomOut()
{
    stepZoom(-1);
}

void ImageViewWidget::stepZoom(int direction)
{
    if (!canZoom())
        return;
    const double now = zoom_ > 0 ? zoom_ : fitScale();
    // A step is one that differs from now by more than rounding.
    double next = 0;
    for (double step : zoomSteps) {
        if (direction > 0 && step > now * 1.01) {
            next = step;
            break;
        }
        if (direction < 0 && step < now * 0.99)
            next = step;
    }
    if (next > 0)
        setZoom(next, QPointF(targetSize().width() / 2.0, targetSize().height() / 2.0));
}

void ImageViewWidget::setZoom(double scale, QPointF anchor)
{
    const QSize box = targetSize();
    const QPointF middle(box.width() / 2.0, box.height() / 2.0);
    const double before = zoom_ > 0 ? zoom_ : fitScale();
    const QPointF centre = zoom_ > 0 ? zoomCentre_ : QPointF(originalSize_.width() / 2.0, originalSize_.height() / 2.0);
    const QPointF under = centre + (anchor - middle) / before;
    zoom_ = scale;
    if (scale > 0) {
        zoomCentre_ = clampedCentre(under - (anchor - middle) / scale);
        requestZoomed();
        setCursor(Qt::OpenHandCursor);
    } else {
        // Back to the fitted picture; it was decoded for this size unless
        // the view's size changed meanwhile.
        zoomed_ = QImage();
        zoomTarget_ = QSize();
        unsetCursor();
        refreshForNewSize();
    }
    update();
    emit zoomChanged();
}

void ImageViewWidget::resetZoom()
{
    zoomed_ = QImage();
    zoomTarget_ = QSize();
    originalSize_ = QSize();
    dragAt_.reset();
    if (zoom_ == 0)
        return;
    zoom_ = 0;
    unsetCursor();
    emit zoomChanged();
}

// Where the picture stays inside the view: a side larger than the view
// covers it, a smaller one is centred.
QPointF ImageViewWidget::clampedCentre(QPointF centre) const
{
    const QSizeF half = QSizeF(targetSize()) / (2 * zoom_);
    const auto clampAxis = [](double c, double half, int size) {
        return 2 * half >= size ? size / 2.0 : std::clamp(c, half, size - half);
    };
    return {clampAxis(centre.x(), half.width(), originalSize_.width()),
            clampAxis(centre.y(), half.height(), originalSize_.height())};
}

void ImageViewWidget::pan(int dx, int dy)
{
    if (zoom_ == 0)
        return;
    const QSize box = targetSize();
    zoomCentre_ = clampedCentre(zoomCentre_ + QPointF(dx * box.width() / 10.0, dy * box.height() / 10.0) / zoom_);
    update();
}

// At 1:1 and above the stored pixels themselves; below, the picture at
// that scale (for a JPEG, libjpeg's own 1/2, 1/4 or 1/8). Through the same
// queue and decode budget as every picture.
void ImageViewWidget::requestZoomed()
{
    const QSize target = (QSizeF(originalSize_) * std::min(zoom_, 1.0)).toSize().expandedTo(QSize(1, 1));
    if (!current_ || target == zoomTarget_)
        return;
    zoomTarget_ = target; // the last zoomed picture stands in until this one comes
    queue_.request({current_->path(), target, devicePixelRatioF(), false}, currentStamp_,
                   imaging::priority::currentFile);
}

bool ImageViewWidget::isZoomResult(const std::string& path, const DecodedPicture& picture) const
{
    return zoom_ > 0 && !picture.isPreview && isCurrent(path) && picture.target == zoomTarget_;
}

QRectF ImageViewWidget::pictureRect(const QImage& image) const
{
    const QSize box = targetSize();
    if (zoom_ > 0) {
        // Whole device pixels, so that 1:1 maps each image pixel on one.
        const QPointF topLeft(std::floor(box.width() / 2.0 - zoomCentre_.x() * zoom_),
                              std::floor(box.height() / 2.0 - zoomCentre_.y() * zoom_));
        return {topLeft, QSizeF(originalSize_) * zoom_};
    }
    QSize fit = imaging::fitSize(image.size(), box);
    if (std::abs(fit.width() - image.width()) <= 1 && std::abs(fit.height() - image.height()) <= 1)
        fit = image.size(); // decoded at this size: a plain copy, no scaling
    return {QPointF(std::floor((box.width() - fit.width()) / 2.0), std::floor((box.height() - fit.height()) / 2.0)),
            QSizeF(fit)};
}

void ImageViewWidget::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (zoom_ > 0 && event->button() == Qt::LeftButton) {
        dragAt_ = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void ImageViewWidget::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    if (!dragAt_ || zoom_ == 0)
        return;
    const QPoint at = event->position().toPoint();
    zoomCentre_ = clampedCentre(zoomCentre_ - QPointF(at - *dragAt_) * devicePixelRatioF() / zoom_);
    dragAt_ = at;
    update();
}

void ImageViewWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (!dragAt_ || event->button() != Qt::LeftButton)
        return;
    dragAt_.reset();
    if (zoom_ > 0)
        setCursor(Qt::OpenHandCursor);
}

} // namespace shoebox
