#pragma once

#include "viewer/DecodedPicture.h"

// Turning a file into a picture the size it is shown at. Everything here is
// safe to call from any thread: the image view runs it on its worker pool.
namespace shoebox::imaging {

// Opens the file (regular files only, never blocking on a FIFO), reads it,
// decodes it at the size it will be shown and scales it to fit `target`
// with its aspect ratio kept. `cancelled` is polled between stages;
// `preview` (optional) receives a quick, smaller picture first when the
// file carries one (HEIF thumbnails).
DecodedPicture decodePicture(const DecodeRequest& request, const CancelCheck& cancelled = {},
                             const PreviewSink& preview = {});

// The preview embedded in the file (a JPEG's EXIF thumbnail), read from its
// first bytes: upright, not scaled, isPreview; a null image when the file
// has none. Cheap enough to run for every file a held key passes.
DecodedPicture decodePreview(const DecodeRequest& request, const CancelCheck& cancelled = {},
                             const PreviewSink& unused = {});

// A stand-in to show while a key is held over a photo without an embedded
// preview: a JPEG decoded at the coarsest DCT scale that still fills the
// view at a glance (chooseJpegGlanceSize), fitted to it, isPreview; a null
// image for any other file, which has no coarse decode to offer.
DecodedPicture decodeGlance(const DecodeRequest& request, const CancelCheck& cancelled = {},
                            const PreviewSink& unused = {});

} // namespace shoebox::imaging
