// HEIF/HEIC pictures: recognised here, decoded by the HEIF module
// (HeifModule.cpp), which is loaded only once such a file turns up.

#include "viewer/HeifDecoder.h"

#include "viewer/MediaModule.h"

#include <array>
#include <cstring>

namespace shoebox::imaging {

bool looksLikeHeif(const QByteArray& data)
{
    // The answer libheif 1.15's heif_check_filetype gives, without loading
    // libheif for every JPEG: an ISO-BMFF 'ftyp' box whose major brand is a
    // HEIF one. "mif1" alone is only a "maybe" there, and is left to Qt.
    if (data.size() < 12 || std::memcmp(data.constData() + 4, "ftyp", 4) != 0)
        return false;
    static constexpr std::array<const char*, 12> brands = {
        "heic", "heix", "avif",                                         // decodable
        "hevc", "hevx", "heim", "heis", "hevm", "hevs", "msf1", "avis", // sequences and variants
        "vvic",
    };
    for (const char* brand : brands) {
        if (std::memcmp(data.constData() + 8, brand, 4) == 0)
            return true;
    }
    return false;
}

DecodedPicture decodeHeif(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled,
                          const PreviewSink& preview)
{
    if (const media::HeifDecodeFn decode = media::heifDecoder()) {
        return decode(media::decodeHost(), fd, size, request, cancelled, preview);
    }
    DecodedPicture d;
    d.problem = Problem::NoHeifSupport;
    return d;
}

} // namespace shoebox::imaging
