// HEIF/HEIC pictures through libheif (Qt has no HEIF plugin on Debian 12).
// Built as the runtime-loaded module libshoebox_heif.so: see MediaModule.h.

#include "MediaModule.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

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

// Decodes one image (primary or thumbnail) to 8-bit interleaved RGB(A), with
// its rotation and mirroring applied, and fits it to the target.
bool decodeHandle(const media::HeifHost& host, heif_image_handle* handle, const DecodeRequest& request,
                  DecodedPicture* out)
{
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (width <= 0 || height <= 0)
        return false;
    // Decoding needs the full-size RGBA picture in memory before it is
    // scaled down; refuse what would exceed the decode limit up front.
    if (qint64(width) * height * 4 > (qint64(kDecodeLimitMB) << 20)) {
        out->problem = Problem::TooLarge;
        return false;
    }

    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    Options options(heif_decoding_options_alloc());
    options->ignore_transformations = 0; // apply irot/imir: phone photos stand upright
    options->convert_hdr_to_8bit = 1;    // 10-bit HEIC still yields 8-bit interleaved planes

    heif_image* raw = nullptr;
    const heif_error err =
        heif_decode_image(handle, &raw, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    Image image(raw);
    if (err.code != heif_error_Ok || !image)
        return false;

    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || w <= 0 || h <= 0)
        return false;

    // Wraps libheif's buffer without copying; fitForDisplay makes the copy.
    const QImage wrapped(plane, w, h, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    out->decodedSize = wrapped.size();
    out->image = host.fitForDisplay(wrapped, request.target, request.devicePixelRatio);
    if (out->image.constBits() == plane) // no scaling or conversion happened
        out->image = out->image.copy();
    return !out->image.isNull();
}

DecodedPicture decodeHeifFile(const media::HeifHost& host, const QByteArray& data, const DecodeRequest& request,
                              const CancelCheck& cancelled, const PreviewSink& preview)
{
    initLibheif();
    DecodedPicture d;
    d.problem = Problem::Damaged;

    Context ctx(heif_context_alloc());
    if (!ctx)
        return d;
    // `data` outlives the context: both live in this function.
    heif_error err =
        heif_context_read_from_memory_without_copy(ctx.get(), data.constData(), size_t(data.size()), nullptr);
    if (err.code != heif_error_Ok)
        return d;

    heif_image_handle* rawHandle = nullptr;
    err = heif_context_get_primary_image_handle(ctx.get(), &rawHandle);
    Handle primary(rawHandle);
    if (err.code != heif_error_Ok || !primary)
        return d;

    const QSize original(heif_image_handle_get_width(primary.get()), heif_image_handle_get_height(primary.get()));
    if (qint64(original.width()) * original.height() * 4 > (qint64(kDecodeLimitMB) << 20)) {
        d.problem = Problem::TooLarge;
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
                if (decodeHandle(host, thumb.get(), request, &p)) {
                    p.problem = Problem::None;
                    p.isPreview = true;
                    p.originalSize = original;
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
    if (!decodeHandle(host, primary.get(), request, &full))
        return full.problem == Problem::TooLarge ? full : d;
    full.problem = Problem::None;
    full.originalSize = original;
    return full;
}

} // namespace

} // namespace shoebox::imaging

extern "C" __attribute__((visibility("default"))) shoebox::imaging::DecodedPicture
shoebox_heif_decode_v1(const shoebox::media::HeifHost& host, const QByteArray& data,
                       const shoebox::imaging::DecodeRequest& request, const shoebox::imaging::CancelCheck& cancelled,
                       const shoebox::imaging::PreviewSink& preview)
{
    return shoebox::imaging::decodeHeifFile(host, data, request, cancelled, preview);
}
// The executable calls it through this type; a mismatch must not build.
static_assert(std::is_same_v<decltype(&shoebox_heif_decode_v1), shoebox::media::HeifDecodeFn>);
