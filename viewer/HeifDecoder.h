#pragma once

#include <QByteArray>

#include <cstdint>

#include "viewer/DecodedPicture.h"

namespace shoebox::imaging {

// HEIF/HEIC: recognised here (as any ISO base media file: libheif decides),
// decoded by the HEIF module, loaded on first use (viewer/MediaModule.h).
bool looksLikeHeif(const QByteArray& data);
// `fd` is the open file (`size` bytes), whose first bytes looksLikeHeif took.
DecodedPicture decodeHeif(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled,
                          const PreviewSink& preview);

} // namespace shoebox::imaging
