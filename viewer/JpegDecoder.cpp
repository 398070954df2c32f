#include "viewer/JpegDecoder.h"

#include "viewer/DecodeBudget.h"
#include "viewer/Exif.h"
#include "viewer/Fitting.h"

#include "viewer/Trace.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace shoebox::imaging {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to the setjmp of the function that called libjpeg.
// Those functions hold only trivially destructible locals, since the jump
// skips destructors.
struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    // The picture's data stopped before the picture did: libjpeg met a
    // marker (the end of the file's data) where it expected more of the
    // picture, and would paint the rest grey.
    bool dataEnded = false;
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    // Other warnings (a stray byte, a bad restart marker) are recovered
    // from and the picture shows.
    if (level < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER)
        reinterpret_cast<ErrorManager*>(cinfo->err)->dataEnded = true;
}

struct Decompressor {
    Decompressor()
    {
        cinfo.err = jpeg_std_error(&errors.mgr);
        errors.mgr.error_exit = onError;
        errors.mgr.emit_message = onMessage;
        jpeg_create_decompress(&cinfo);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
};

// Feeds libjpeg the file: first the bytes already read, then the rest
// from the descriptor, a block at a time. At the end of the file it gives
// libjpeg an end-of-image marker and notes that the data stopped short.
struct FileSource {
    jpeg_source_mgr mgr;
    int fd = -1;
    const QByteArray* start = nullptr;
    std::int64_t offset = 0; // where the next read starts
    bool endedEarly = false;
    unsigned char block[64 * 1024];

    static void init(j_decompress_ptr) {}
    static void term(j_decompress_ptr) {}
    static boolean fill(j_decompress_ptr cinfo)
    {
        auto* self = reinterpret_cast<FileSource*>(cinfo->src);
        ssize_t n = -1;
        while (self->fd >= 0 && (n = ::pread(self->fd, self->block, sizeof self->block, off_t(self->offset))) < 0 &&
               errno == EINTR) {
        }
        if (n <= 0) {
            static const unsigned char eoi[2] = {0xFF, JPEG_EOI};
            self->endedEarly = true;
            self->mgr.next_input_byte = eoi;
            self->mgr.bytes_in_buffer = 2;
            return TRUE;
        }
        self->offset += n;
        self->mgr.next_input_byte = self->block;
        self->mgr.bytes_in_buffer = size_t(n);
        return TRUE;
    }
    static void skip(j_decompress_ptr cinfo, long count)
    {
        auto* self = reinterpret_cast<FileSource*>(cinfo->src);
        while (count > long(self->mgr.bytes_in_buffer)) {
            count -= long(self->mgr.bytes_in_buffer);
            fill(cinfo);
        }
        self->mgr.next_input_byte += count;
        self->mgr.bytes_in_buffer -= size_t(count);
    }

    FileSource(int file, const QByteArray& first) : fd(file), start(&first), offset(first.size())
    {
        mgr.init_source = init;
        mgr.fill_input_buffer = fill;
        mgr.skip_input_data = skip;
        mgr.resync_to_restart = jpeg_resync_to_restart;
        mgr.term_source = term;
        mgr.next_input_byte = reinterpret_cast<const unsigned char*>(first.constData());
        mgr.bytes_in_buffer = size_t(first.size());
    }
};

// `source`: where the data comes from, or null for `data` alone.
bool readHeader(Decompressor& d, const QByteArray& data, bool keepExif, FileSource* source = nullptr)
{
    if (setjmp(d.errors.jump))
        return false;
    if (source)
        d.cinfo.src = &source->mgr;
    else
        jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                     static_cast<unsigned long>(data.size()));
    if (keepExif)
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
    return jpeg_read_header(&d.cinfo, TRUE) == JPEG_HEADER_OK;
}

// 32-bit pixels laid out as QImage::Format_RGB32 (0xffRRGGBB in memory order).
constexpr J_COLOR_SPACE rgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

bool canGiveRgb(const jpeg_decompress_struct& cinfo)
{
    return cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB ||
           cinfo.jpeg_color_space == JCS_GRAYSCALE;
}

enum class Outcome { Done, Failed, Cancelled };

// Decodes at 1/denominator into `image`, which has the output's size.
// `source` (optional): where the data comes from. Once the data has run out
// (the file ends, or its end-of-image marker comes early) the rest would
// only be grey: the decode stops there, as damaged. That also keeps a
// header claiming a huge picture in a few bytes from writing (and so
// committing) the memory it reserved.
Outcome readPixels(Decompressor& d, int denominator, QImage* image, const CancelCheck* cancelled,
                   const FileSource* source = nullptr)
{
    if (setjmp(d.errors.jump))
        return Outcome::Failed;
    jpeg_decompress_struct& cinfo = d.cinfo;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(denominator);
    cinfo.out_color_space = rgb32;
    jpeg_start_decompress(&cinfo);
    if (int(cinfo.output_width) != image->width() || int(cinfo.output_height) != image->height()) {
        jpeg_abort_decompress(&cinfo);
        return Outcome::Failed;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        if (cancelled && *cancelled && (*cancelled)()) {
            jpeg_abort_decompress(&cinfo);
            return Outcome::Cancelled;
        }
        if (d.errors.dataEnded || (source && source->endedEarly)) {
            jpeg_abort_decompress(&cinfo);
            return Outcome::Failed;
        }
        // A few rows a call: libjpeg makes up to four at once when it upsamples.
        JSAMPROW rows[4];
        const int count = std::min<int>(4, int(cinfo.output_height - cinfo.output_scanline));
        for (int i = 0; i < count; ++i)
            rows[i] = image->scanLine(int(cinfo.output_scanline) + i);
        jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_decompress(&cinfo);
    return Outcome::Done;
}

int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

// What libjpeg holds beside the output for a progressive file: the whole
// picture's DCT coefficients, 128 bytes per 8x8 block of each component,
// whatever the output scale.
std::int64_t coefficientBytes(const jpeg_decompress_struct& cinfo)
{
    if (!cinfo.progressive_mode)
        return 0;
    int maxH = 1, maxV = 1;
    for (int c = 0; c < cinfo.num_components; ++c) {
        maxH = std::max(maxH, cinfo.comp_info[c].h_samp_factor);
        maxV = std::max(maxV, cinfo.comp_info[c].v_samp_factor);
    }
    std::int64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const int w = ceilDiv(ceilDiv(int(cinfo.image_width) * comp.h_samp_factor, maxH), 8);
        const int h = ceilDiv(ceilDiv(int(cinfo.image_height) * comp.v_samp_factor, maxV), 8);
        bytes += std::int64_t(w) * h * 128;
    }
    return bytes;
}

DecodedPicture failed(Problem p)
{
    DecodedPicture d;
    d.problem = p;
    return d;
}

// A small JPEG decoded whole (an EXIF thumbnail: a few kilobytes).
QImage decodeSmall(const QByteArray& jpeg)
{
    Decompressor d;
    if (!readHeader(d, jpeg, false) || !canGiveRgb(d.cinfo))
        return {};
    const int w = int(d.cinfo.image_width), h = int(d.cinfo.image_height);
    if (w <= 0 || h <= 0 || std::int64_t(w) * h > std::int64_t{1024} * 1024)
        return {}; // not a thumbnail
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull() || readPixels(d, 1, &image, nullptr) != Outcome::Done)
        return {};
    return image;
}

// The stored size divided by the largest of 8, 4, 2 that gives at least
// `percent` of the picture's fitted size in `target` on both sides.
QSize scaledToCover(QSize stored, bool rotated90, QSize target, int percent)
{
    if (stored.isEmpty() || target.isEmpty())
        return stored;
    const QSize box = rotated90 ? target.transposed() : target;
    const QSize fit = fitSize(stored, box);
    const int needWidth = fit.width() * percent / 100;
    const int needHeight = fit.height() * percent / 100;
    for (int d : {8, 4, 2}) {
        // Integer division: for sizes not divisible by d, libjpeg's output
        // is one pixel larger and Qt resamples by that pixel; asking for the
        // rounded-up size would instead make Qt pick a larger DCT scale.
        // A side under d pixels would round to none: a long thin strip of
        // a picture (4000x7 shown at 400 wide) needs it at some height.
        const QSize scaled(stored.width() / d, stored.height() / d);
        if (!scaled.isEmpty() && scaled.width() >= needWidth && scaled.height() >= needHeight)
            return scaled;
    }
    return stored;
}

} // namespace

QSize chooseJpegScaledSize(QSize stored, bool rotated90, QSize target)
{
    // A scale that falls short of the view by up to 2% still counts: that
    // last stretch is invisible on a photo, while the next larger scale
    // decodes four times the pixels and then has to shrink them again
    // (a 12 MP portrait in a 1600x1000 window: 1/4 instead of 1/2).
    return scaledToCover(stored, rotated90, target, 98);
}

QSize chooseJpegGlanceSize(QSize stored, bool rotated90, QSize target)
{
    return scaledToCover(stored, rotated90, target, 50);
}

bool jpegLooksComplete(const QByteArray& data)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qsizetype n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    qsizetype pos = 2;
    while (pos < n) {
        if (p[pos] != 0xFF) {
            // Stray bytes between segments: libjpeg skips them with a
            // warning, and so do we.
            ++pos;
            continue;
        }
        while (pos < n && p[pos] == 0xFF)
            ++pos; // fill bytes
        if (pos >= n)
            return false;
        const uchar marker = p[pos++];
        if (marker == 0xD9)
            return true; // EOI
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x00)
            continue; // no length field
        if (pos + 2 > n)
            return false;
        const int length = (p[pos] << 8) | p[pos + 1];
        if (length < 2)
            return false;
        pos += length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data follows a scan header. In it a 0xFF byte is
        // always followed by 0x00 (stuffing) or a restart marker, so the
        // first other marker ends the scan.
        for (;;) {
            if (pos >= n)
                return false;
            const void* ff = std::memchr(p + pos, 0xFF, size_t(n - pos));
            if (!ff)
                return false;
            pos = static_cast<const uchar*>(ff) - p;
            if (pos + 1 >= n)
                return false;
            const uchar next = p[pos + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                pos += 2;
                continue;
            }
            if (next == 0xFF) {
                ++pos;
                continue;
            }
            break; // a marker: back to the segment loop
        }
    }
    return false;
}

std::optional<DecodedPicture> decodeJpeg(int fd, const QByteArray& start, const DecodeRequest& request,
                                         const CancelCheck& cancelled, JpegScale scale)
{
    auto source = std::make_unique<FileSource>(fd, start);
    Decompressor d;
    if (!readHeader(d, start, true, source.get()) || source->endedEarly)
        return failed(Problem::Damaged);
    if (!canGiveRgb(d.cinfo))
        return std::nullopt;
    ExifSummary exif;
    for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::equal(m->data, m->data + 6, "Exif\0\0")) {
            exif = readExif(QByteArray::fromRawData(reinterpret_cast<const char*>(m->data), qsizetype(m->data_length)));
            break;
        }
    }
    const int orientation = exif.orientation;
    const bool turned = swapsAxes(orientation);
    const QSize stored(int(d.cinfo.image_width), int(d.cinfo.image_height));
    if (stored.isEmpty())
        return failed(Problem::Damaged);

    // Everything below is decided by the header, before any pixel is decoded.
    const QSize chosen = scale == JpegScale::Glance ? chooseJpegGlanceSize(stored, turned, request.target)
                                                    : chooseJpegScaledSize(stored, turned, request.target);
    int denominator = std::clamp(int(std::lround(double(stored.width()) / chosen.width())), 1, 8);
    auto bytesAt = [&](int denom) {
        const QSize out(ceilDiv(stored.width(), denom), ceilDiv(stored.height(), denom));
        const QSize shown = fitSize(turned ? out.transposed() : out, request.target);
        // The output, the scaled copy and the turned one.
        const int shownCopies = orientation == 1 ? 1 : 2;
        return std::int64_t(out.width()) * out.height() * 4 +
               std::int64_t(shown.width()) * shown.height() * 4 * shownCopies + coefficientBytes(d.cinfo);
    };
    // A picture too large for one decode at the scale the view wants shows
    // coarser, at the next DCT scale down that fits. (More than the shared
    // budget decodes alone.)
    while (denominator < 8 && bytesAt(denominator) > decodeCapBytes())
        denominator *= 2;
    const DecodeReservation reservation(bytesAt(denominator), cancelled);
    if (reservation.problem() == Problem::TooLarge)
        return tooLarge(bytesAt(denominator));
    if (reservation.problem() != Problem::None)
        return failed(reservation.problem());
    trace::stage(request.path, "header read");

    QImage decoded(ceilDiv(stored.width(), denominator), ceilDiv(stored.height(), denominator), QImage::Format_RGB32);
    if (decoded.isNull())
        return failed(Problem::TooLarge);
    switch (readPixels(d, denominator, &decoded, &cancelled, source.get())) {
    case Outcome::Failed:
        return failed(Problem::Damaged);
    case Outcome::Cancelled:
        return failed(Problem::Cancelled);
    case Outcome::Done:
        if (source->endedEarly || d.errors.dataEnded)
            return failed(Problem::Damaged);
        break;
    }
    trace::stage(request.path, "decoded");

    DecodedPicture picture;
    picture.isPreview = scale == JpegScale::Glance;
    picture.info = std::move(exif.info);
    picture.originalSize = turned ? stored.transposed() : stored;
    picture.decodedSize = turned ? decoded.size().transposed() : decoded.size();
    // Scaled in the stored orientation, then turned: the turn moves only
    // the pixels shown.
    const QImage scaled = fitForDisplay(std::move(decoded), turned ? request.target.transposed() : request.target,
                                        request.devicePixelRatio);
    trace::stage(request.path, "scaled");
    picture.image = orient(scaled, orientation);
    picture.image.setDevicePixelRatio(request.devicePixelRatio);
    if (orientation != 1)
        trace::stage(request.path, "turned upright");
    return picture;
}

DecodedPicture decodeJpegPreview(const QByteArray& start, const DecodeRequest& request)
{
    DecodedPicture preview;
    preview.isPreview = true;
    preview.target = request.target;
    const ExifSummary exif = readExif(start);
    preview.info = exif.info;
    QSize stored;
    {
        Decompressor d; // the main picture's size, when its header is within `start`
        if (readHeader(d, start, false))
            stored = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    }
    preview.originalSize = swapsAxes(exif.orientation) ? stored.transposed() : stored;
    if (exif.thumbnail.isEmpty())
        return preview;
    const QImage thumbnail = decodeSmall(exif.thumbnail);
    if (thumbnail.isNull())
        return preview;
    preview.image = orient(cropToShape(thumbnail, stored), exif.orientation);
    preview.image.setDevicePixelRatio(request.devicePixelRatio);
    preview.decodedSize = preview.image.size();
    return preview;
}

} // namespace shoebox::imaging
