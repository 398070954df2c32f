#include "viewer/Fitting.h"

namespace shoebox::imaging {

QSize fitSize(QSize image, QSize box)
{
    if (image.isEmpty() || box.isEmpty())
        return image;
    QSize s = image.scaled(box, Qt::KeepAspectRatio);
    return s.expandedTo(QSize(1, 1));
}

QImage fitForDisplay(const QImage& decoded, QSize target, qreal devicePixelRatio)
{
    const QImage::Format format =
        decoded.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage out = decoded;
    const QSize fit = target.isEmpty() ? decoded.size() : fitSize(decoded.size(), target);
    if (fit != decoded.size()) {
        // Qt 6.4 filters a smooth scale properly (area averaging down,
        // bilinear up) only in these two formats (and two 64-bit ones). It
        // scales a 1-bit picture (a two-colour PNG) without any filtering,
        // and a small picture in another format through QPainter, which
        // samples instead of averaging: either turns fine detail into moiré.
        // Converting first makes every scale a filtered one.
        if (out.format() != format)
            out.convertTo(format);
        out = out.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (out.format() != format)
        out.convertTo(format);
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

} // namespace shoebox::imaging
