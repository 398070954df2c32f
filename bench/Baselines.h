#pragma once

// The baselines: what the libraries alone take for the work the app does.

#include <QSize>

#include <string>

#include "bench/Pictures.h"

namespace shoebox::bench {

// Reads the file and decodes it with TurboJPEG at the DCT scale the image
// view asks its JPEG reader for (its own chooser), into 32-bit pixels, the
// form the view paints. Milliseconds.
double turboJpegMs(const Photo& photo, QSize box);

// A plain libheif decode of the primary picture (or its first thumbnail) to
// interleaved RGB, file read included. Milliseconds, NaN on failure.
double libheifMs(const std::string& path, bool thumbnail);

// Qt Multimedia alone: a QMediaPlayer playing into a QVideoSink, from
// setting the source to its first frame converted to a QImage. Runs the
// event loop; milliseconds, NaN when no frame came within ten seconds.
double videoFirstFrameMs(const std::string& path);

} // namespace shoebox::bench
