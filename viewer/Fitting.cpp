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
    QImage out = decoded;
    if (!target.isEmpty()) {
        const QSize fit = fitSize(decoded.size(), target);
        if (fit != decoded.size())
            out = decoded.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QImage::Format format = out.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (out.format() != format)
        out = out.convertToFormat(format);
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

} // namespace shoebox::imaging
