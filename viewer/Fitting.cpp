#include "viewer/Fitting.h"

namespace shoebox::imaging {

QSize fitSize(QSize image, QSize box)
{
    if (image.isEmpty() || box.isEmpty())
        return image;
    QSize s = image.scaled(box, Qt::KeepAspectRatio);
    return s.expandedTo(QSize(1, 1));
}

QImage fitForDisplay(QImage image, QSize target, qreal devicePixelRatio)
{
    const bool alpha = image.hasAlphaChannel();
    const QSize fit = target.isEmpty() ? image.size() : fitSize(image.size(), target);
    if (fit != image.size()) {
        // Qt 6.4 filters a smooth scale properly (area averaging down,
        // bilinear up) only in 32-bit xRGB and premultiplied ARGB and their
        // 64-bit kin. It scales a 1-bit picture (a two-colour PNG) without
        // any filtering, and a small picture in another format through
        // QPainter, which samples instead of averaging: either turns fine
        // detail into moiré. Converting first makes every scale a filtered
        // one; from the same depth (ARGB32, 16-bit RGBA) Qt converts in place
        // when the image is not shared.
        const QImage::Format scalable = image.depth() == 64
                                            ? (alpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64)
                                            : (alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (image.format() != scalable)
            image.convertTo(scalable);
        image = image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QImage::Format format = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != format)
        image.convertTo(format);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

} // namespace shoebox::imaging
