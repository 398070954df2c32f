#pragma once

#include <cstdint>

namespace shoebox::media {

// Whether the open MP4/MOV file has the structure a player needs: a chain
// of top-level boxes that fits the file, with the movie header ('moov')
// among them. Reads only box headers, a few bytes each.
//
// Qt Multimedia's GStreamer backend (Qt 6.4) sometimes never reports an
// error for a file that has no playable streams: the player stays in
// LoadingMedia and the view would stay blank. Damaged and truncated files
// are the usual cause, and this check turns them into a placeholder at once.
bool movieLooksComplete(int fd, std::int64_t fileSize);

} // namespace shoebox::media
