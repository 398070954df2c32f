// HEIF/HEIC pictures through libheif (Qt has no HEIF plugin on Debian 12).
// Built as the runtime-loaded module libshoebox_heif.so: see MediaModule.h.

#include "viewer/MediaModule.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

#include <unistd.h>

namespace shoebox::imaging {

namespace {

void initLibheif()
{
    // Paired with no heif_deinit(): the library stays loaded for the
    // process's life, which is what its reference counting allows.
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<heif_image, ImageDeleter>;
using Options = std::unique_ptr<heif_decoding_options, OptionsDeleter>;

// libheif refuses pictures with a longer side while it reads the file,
// before it sizes any buffer. (Its default is 32768.) Below that, the
// header's claim is weighed against the decode cap (decodeBytes), which can
// then say what the picture would need.
constexpr int maximumSide = 65535;

// What decoding `handle` for `target` holds at its peak. libheif decodes
// the whole picture (it cannot scale, and 1.15 gives no access to a grid's
// tiles to decode them one at a time) into YCbCr planes and converts those
// into interleaved RGBA, with its own copies on the way. Measured with
// libheif 1.15.1 on 8-bit 4:2:0 pictures and grids: 7 bytes a pixel;
// 9.5 with alpha, 13 at 10 bits. The RGBA is then scaled to the size shown.
std::int64_t decodeBytes(heif_image_handle* handle, QSize target)
{
    const QSize size(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    const std::int64_t pixels = std::int64_t(size.width()) * size.height();
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
    const std::int64_t halfBytesPerPixel = deep ? (alpha ? 32 : 26) : (alpha ? 19 : 14);
    const QSize shown = target.isEmpty() ? QSize(0, 0) : size.scaled(target, Qt::KeepAspectRatio);
    return pixels * halfBytesPerPixel / 2 + std::int64_t(shown.width()) * shown.height() * 4;
}

// libheif's RGBA bytes turned, in place, into the 32-bit words the view
// paints (premultiplied when there is alpha): Qt would convert into a copy,
// another 4 bytes a pixel at the peak (200 MB for a 48 MP photo).
void toArgb32InPlace(uint8_t* plane, int stride, int width, int height, bool alpha)
{
    for (int y = 0; y < height; ++y) {
        uint8_t* p = plane + std::ptrdiff_t(y) * stride;
        for (int x = 0; x < width; ++x, p += 4) {
            const QRgb argb = qRgba(p[0], p[1], p[2], alpha ? p[3] : 255);
            const QRgb word = alpha ? qPremultiply(argb) : argb;
            std::memcpy(p, &word, 4);
        }
    }
}

// An embedded thumbnail is a few hundred kilobytes of pixels: like a
// JPEG's EXIF preview it decodes without a share of the budget, so that it
// shows at once even while a big picture decodes alone. One that claims
// more is not a thumbnail and is left out.
constexpr std::int64_t thumbnailBytes = std::int64_t(8) << 20;

// Decodes one image (primary or thumbnail) to 8-bit interleaved RGBA, with
// its rotation, mirroring and crop applied, and fits it to the target. The
// primary's pixels are reserved from the decode budget first, by its
// header. `primary` false: a thumbnail, decoded only when small and left
// small, for the view to stretch as it paints.
bool decodeHandle(const media::DecodeHost& host, heif_image_handle* handle, const DecodeRequest& request,
                  const CancelCheck& cancelled, DecodedPicture* out, bool primary)
{
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (width <= 0 || height <= 0)
        return false;
    const std::int64_t needed = decodeBytes(handle, primary ? request.target : QSize());
    if (!primary && needed > thumbnailBytes)
        return false;
    std::optional<DecodeReservation> reservation;
    if (primary)
        reservation.emplace(needed, cancelled, host.reserveDecodeBytes, host.releaseDecodeBytes);
    if (reservation && reservation->problem() != Problem::None) {
        out->problem = reservation->problem();
        if (out->problem == Problem::TooLarge)
            out->neededBytes = needed;
        return false;
    }

    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    Options options(heif_decoding_options_alloc());
    options->ignore_transformations = 0; // apply irot/imir/clap: phone photos stand upright
    options->convert_hdr_to_8bit = 1;    // 10-bit HEIC still yields 8-bit interleaved planes

    heif_image* raw = nullptr;
    const heif_error err =
        heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get());
    Image image(raw);
    if (err.code != heif_error_Ok || !image)
        return false;

    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || w <= 0 || h <= 0 || stride < w * 4)
        return false;
    if (cancelled && cancelled()) {
        out->problem = Problem::Cancelled;
        return false;
    }
    toArgb32InPlace(plane, stride, w, h, alpha);

    // Wraps libheif's buffer without copying; fitForDisplay makes the copy.
    const QImage wrapped(plane, w, h, stride, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    out->decodedSize = wrapped.size();
    out->image = host.fitForDisplay(wrapped, primary ? request.target : QSize(), request.devicePixelRatio);
    if (out->image.constBits() == plane) // no scaling or conversion happened
        out->image = out->image.copy();
    return !out->image.isNull();
}

// The photo's date and camera from the Exif block of `handle`, which libheif
// gives as a four-byte offset to the TIFF header, then the block.
PhotoInfo infoOf(const media::DecodeHost& host, heif_image_handle* handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1)
        return {};
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    constexpr size_t largestExif = 1 << 20; // the standard's limit is 64 KiB; more is not worth reading
    if (size < 8 || size > largestExif)
        return {};
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return {};
    const auto* bytes = reinterpret_cast<const uchar*>(block.constData());
    const size_t offset = size_t(bytes[0]) << 24 | size_t(bytes[1]) << 16 | size_t(bytes[2]) << 8 | bytes[3];
    if (offset > size - 8)
        return {};
    return host.photoInfoFromExif(QByteArray("Exif\0\0", 6) + block.mid(qsizetype(offset) + 4));
}

// libheif reads the file through this, by pread on the open descriptor:
// only the boxes and the items it decodes, not the whole file.
struct FileReader {
    int fd;
    std::int64_t size;
    std::int64_t position = 0;

    static std::int64_t tell(void* self) { return static_cast<FileReader*>(self)->position; }
    static int read(void* data, size_t length, void* self)
    {
        auto* r = static_cast<FileReader*>(self);
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(r->fd, static_cast<char*>(data) + done, length - done, off_t(r->position));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return 1;
            done += size_t(n);
            r->position += n;
        }
        return 0;
    }
    static int seek(std::int64_t position, void* self)
    {
        auto* r = static_cast<FileReader*>(self);
        if (position < 0 || position > r->size)
            return 1;
        r->position = position;
        return 0;
    }
    static heif_reader_grow_status grow(std::int64_t target, void* self)
    {
        return target <= static_cast<FileReader*>(self)->size ? heif_reader_grow_status_size_reached
                                                              : heif_reader_grow_status_size_beyond_eof;
    }
};

DecodedPicture decodeHeifFile(const media::DecodeHost& host, int fd, std::int64_t size, const DecodeRequest& request,
                              const CancelCheck& cancelled, const PreviewSink& preview)
{
    initLibheif();
    DecodedPicture d;
    d.problem = Problem::Damaged;

    Context ctx(heif_context_alloc());
    if (!ctx)
        return d;
    heif_context_set_maximum_image_size_limit(ctx.get(), maximumSide);
    // Grids (phones store their photos as 512x512 tiles) decode on as many
    // threads as there are cores.
    heif_context_set_max_decoding_threads(ctx.get(), int(std::max(1u, std::thread::hardware_concurrency())));
    static const heif_reader functions{1, &FileReader::tell, &FileReader::read, &FileReader::seek, &FileReader::grow};
    // The reader outlives the context: both live in this function.
    FileReader reader{fd, size};
    // What libheif makes of the file's boxes decides, not its brands:
    // heif_check_filetype says "no" to 'mif2' files and "unsupported" to
    // 'msf1' ones whose primary image libheif reads and decodes.
    heif_error err = heif_context_read_from_reader(ctx.get(), &functions, &reader, nullptr);
    if (err.code != heif_error_Ok) {
        if (err.subcode == heif_suberror_Security_limit_exceeded)
            d.problem = Problem::TooLarge;
        return d;
    }

    heif_image_handle* rawHandle = nullptr;
    err = heif_context_get_primary_image_handle(ctx.get(), &rawHandle);
    Handle primary(rawHandle);
    if (err.code != heif_error_Ok || !primary)
        return d;

    const QSize original(heif_image_handle_get_width(primary.get()), heif_image_handle_get_height(primary.get()));
    const PhotoInfo info = infoOf(host, primary.get());
    if (const std::int64_t needed = decodeBytes(primary.get(), request.target); needed > host.decodeCapBytes()) {
        d.problem = Problem::TooLarge; // and no thumbnail: nothing follows it
        d.neededBytes = needed;
        return d;
    }

    // The embedded thumbnail decodes in a few milliseconds; it stands in
    // while the full picture (hundreds of milliseconds) decodes.
    if (preview && heif_image_handle_get_number_of_thumbnails(primary.get()) > 0) {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), &id, 1) == 1) {
            heif_image_handle* rawThumb = nullptr;
            if (heif_image_handle_get_thumbnail(primary.get(), id, &rawThumb).code == heif_error_Ok) {
                Handle thumb(rawThumb);
                DecodedPicture p;
                if (decodeHandle(host, thumb.get(), request, cancelled, &p, false)) {
                    p.problem = Problem::None;
                    p.isPreview = true;
                    p.originalSize = original;
                    p.info = info;
                    preview(std::move(p));
                }
            }
        }
    }
    if (cancelled && cancelled()) {
        d.problem = Problem::Cancelled;
        return d;
    }

    DecodedPicture full;
    full.problem = Problem::Damaged;
    full.originalSize = original;
    if (!decodeHandle(host, primary.get(), request, cancelled, &full, true))
        return full;
    full.problem = Problem::None;
    full.originalSize = original;
    full.info = info;
    return full;
}

} // namespace

} // namespace shoebox::imaging

extern "C" __attribute__((visibility("default"))) void
shoebox_heif_decode_v6(const shoebox::media::DecodeHost& host, int fd, std::int64_t size,
                       const shoebox::imaging::DecodeRequest& request, const shoebox::imaging::CancelCheck& cancelled,
                       const shoebox::imaging::PreviewSink& preview, shoebox::imaging::DecodedPicture* out)
{
    *out = shoebox::imaging::decodeHeifFile(host, fd, size, request, cancelled, preview);
}
// The executable calls it through this type; a mismatch must not build.
static_assert(std::is_same_v<decltype(&shoebox_heif_decode_v6), shoebox::media::HeifDecodeFn>);
