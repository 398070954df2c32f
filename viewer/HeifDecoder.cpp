// HEIF/HEIC pictures: recognised here, decoded by the HEIF module
// (HeifModule.cpp), which is loaded only once such a file turns up.

#include "viewer/HeifDecoder.h"

#include "viewer/MediaModule.h"

#include <cstring>

namespace shoebox::imaging {

bool looksLikeHeif(const QByteArray& data)
{
    // Any ISO base media file (it starts with a 'ftyp' box) goes to libheif,
    // which tells from the file's boxes whether it holds a picture it can
    // decode. Its brands tell too little: cameras and HEIF writers use
    // 'mif1', 'msf1' or 'mif2' as the major brand of pictures libheif
    // decodes, and a phone's motion photo carries a video beside the image.
    return data.size() >= 12 && std::memcmp(data.constData() + 4, "ftyp", 4) == 0;
}

DecodedPicture decodeHeif(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled,
                          const PreviewSink& preview)
{
    DecodedPicture d;
    if (const media::HeifDecodeFn decode = media::heifDecoder())
        decode(media::decodeHost(), fd, size, request, cancelled, preview, &d);
    else
        d.problem = Problem::NoHeifSupport;
    return d;
}

} // namespace shoebox::imaging
