#pragma once

// JPEG through libjpeg(-turbo) directly, rather than Qt's JPEG plugin:
// - a decode polls its cancel check between rows, so a photo the user has
//   stepped past stops decoding within a millisecond instead of holding a
//   worker for the whole decode;
// - pixels come out in the form the view paints (32-bit xRGB), at the DCT
//   scale asked for, with no conversion pass;
// - the embedded EXIF preview can be read from the first bytes of a file,
//   for a picture to show while a key is held;
// - the first photo of a session does not wait for Qt's image plugins to
//   be found and loaded.
// Orientation is applied after the picture has been scaled to the view, on
// the fewest pixels.

#include "viewer/DecodedPicture.h"

#include <cstdint>
#include <optional>

namespace shoebox::imaging {

// The size to ask Qt's JPEG reader for: the stored size divided by the
// largest of 8, 4, 2 that still covers the picture's fitted size in
// `target`, or falls short of it by at most 2%, and leaves neither side at
// zero; the stored size when none does. Sizes round down. `rotated90`
// (EXIF orientations 5-8) swaps the box first, because the reader scales
// before it rotates. The decoder may then pick a smaller scale to stay
// within the decode budget.
QSize chooseJpegScaledSize(QSize stored, bool rotated90, QSize target);

// The size a stand-in shown while a key is held decodes at: the stored
// size divided by the largest of 8, 4, 2 that, enlarged at most twice,
// still fills the picture's fitted size in `target`, for a picture glanced
// at in passing, not looked at (1/8 of a 24 MP photo in a 1600x1000 view).
QSize chooseJpegGlanceSize(QSize stored, bool rotated90, QSize target);

// How sharp a decode is: the picture as shown, or a stand-in for a held key.
enum class JpegScale { Sharp, Glance };

// Walks the JPEG markers: false when the data stops before the end-of-image
// marker (a truncated download or copy), which libjpeg would otherwise
// paint as a grey lower part without failing.
bool jpegLooksComplete(const QByteArray& data);

// The whole picture at the size it is shown within `request.target`, from
// the open file `fd` whose first bytes are `start`; libjpeg reads the rest
// as it decodes, so no copy of the file is held. A file that ends before
// its picture does (a cut-off copy, which libjpeg would paint grey at the
// bottom) is Damaged. Nothing when libjpeg cannot give the picture in RGB
// (CMYK and YCCK files), for the caller to decode otherwise.
// At JpegScale::Glance, at the size chooseJpegGlanceSize picks, fitted to
// `request.target` all the same, and isPreview.
std::optional<DecodedPicture> decodeJpeg(int fd, const QByteArray& start, const DecodeRequest& request,
                                         const CancelCheck& cancelled, JpegScale scale = JpegScale::Sharp);

// The preview embedded in the EXIF block of a JPEG whose first bytes are
// `start` (64 KiB hold any EXIF block), upright and cut to the main
// picture's shape, not scaled: isPreview, and a null image when there is
// none.
DecodedPicture decodeJpegPreview(const QByteArray& start, const DecodeRequest& request);

} // namespace shoebox::imaging
