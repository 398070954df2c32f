#pragma once

#include <QImage>
#include <QSize>

// The size a picture is shown at, and scaling it there.
namespace shoebox::imaging {

// `image` scaled to fit inside `box`, aspect ratio kept, at least 1x1.
QSize fitSize(QSize image, QSize box);

// Scales a decoded picture to its fitted size in `target` (off the UI
// thread), filtered, and converts it to a format that paints without
// conversion. Given the only reference (moved in), a picture whose format
// has to change before it scales changes in place where Qt can.
QImage fitForDisplay(QImage decoded, QSize target, qreal devicePixelRatio);

} // namespace shoebox::imaging
