// Video posters: the first frame of an MP4/MOV, decoded by the video module
// (VideoModule.cpp), loaded only once such a file turns up.

#include "viewer/VideoPoster.h"

#include "viewer/MediaModule.h"
#include "viewer/MovieProbe.h"

namespace shoebox::imaging {

DecodedPicture decodeVideoPoster(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled)
{
    DecodedPicture d;
    if (!media::movieLooksComplete(fd, size))
        d.problem = Problem::Damaged;
    else if (const media::VideoPosterFn decode = media::videoPosterDecoder())
        decode(media::decodeHost(), fd, request, cancelled, &d);
    return d;
}

} // namespace shoebox::imaging
