#pragma once

#include <cstdint>

#include "viewer/DecodedPicture.h"

namespace shoebox::imaging {

// The first frame of the MP4/MOV open as `fd` (`size` bytes), through the
// video module (HeifDecoder.cpp): a null image when there is none to be
// had, Damaged when the file's structure is broken.
DecodedPicture decodeVideoPoster(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled);

} // namespace shoebox::imaging
