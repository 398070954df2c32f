#pragma once

#include <QImage>
#include <QSize>

// The size a picture is shown at, and scaling it there.
namespace shoebox::imaging {

// `image` scaled to fit inside `box`, aspect ratio kept, at least 1x1.
QSize fitSize(QSize image, QSize box);

// Scales a decoded picture to its fitted size in `target` (off the UI
// thread) and converts it to a format that paints without conversion.
QImage fitForDisplay(const QImage& decoded, QSize target, qreal devicePixelRatio);

} // namespace shoebox::imaging
