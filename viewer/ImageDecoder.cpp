#include "viewer/ImageDecoder.h"

#include "platform/FileDescriptor.h"
#include "viewer/DecodeBudget.h"
#include "viewer/Fitting.h"
#include "viewer/HeifDecoder.h"
#include "viewer/JpegDecoder.h"
#include "viewer/Trace.h"
#include "viewer/VideoPoster.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageIOHandler>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace shoebox::imaging {

namespace {

// Opens a regular file; a FIFO, device or socket is refused before
// anything reads from it (or waits for its writer).
Problem openFile(const std::string& path, RegularFile* file, FileStamp* stamp)
{
    if (const int error = openRegularFile(path, *file))
        return problemForErrno(error);
    if (Problem p = problemOfStatus(file->status); p != Problem::None)
        return p;
    *stamp = stampOf(file->status);
    return Problem::None;
}

// Appends the file's bytes from `out->size()` on, up to `limit` in all.
Problem readMore(int fd, QByteArray* out, std::int64_t limit)
{
    qsizetype done = out->size();
    out->resize(qsizetype(limit));
    while (done < out->size()) {
        const ssize_t n = ::pread(fd, out->data() + done, size_t(out->size() - done), off_t(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Problem::Unreadable;
        }
        if (n == 0)
            break; // shrank while we read; the decoder sees the short data
        done += n;
    }
    out->truncate(done);
    return done == 0 ? Problem::Empty : Problem::None;
}

// Enough of a file to tell its kind and, for a JPEG, hold its EXIF block.
constexpr std::int64_t previewReadBytes = std::int64_t{96} * 1024;

bool isJpeg(const QByteArray& data)
{
    return data.size() >= 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 && uchar(data[2]) == 0xFF;
}

// Qt's PNG reader, asked for a smaller size, scales as it reads, a row at a
// time with area averaging, for 8-bit RGB and RGBA pictures stored without
// interlacing (the others it reads whole and then scales): a 64 MP PNG takes
// a few megabytes instead of 256. It runs on one core, at about half the
// speed of reading whole and scaling on all of them, so it is for pictures
// too big to decode beside others. Tells from the header chunk, which comes
// first: the signature (8 bytes), the chunk's length and type (8), width and
// height (8), then bit depth, colour type, compression, filter, interlacing.
bool pngScalesWhileReading(const QByteArray& data)
{
    if (data.size() < 29 || !data.startsWith("\x89PNG\r\n\x1a\n") || data.mid(12, 4) != "IHDR")
        return false;
    const int depth = uchar(data[24]), colourType = uchar(data[25]), interlacing = uchar(data[28]);
    return depth == 8 && (colourType == 2 || colourType == 6) && interlacing == 0;
}

// What Qt's reader and then fitForDisplay hold at once for a picture read
// at `size` into `format`. `readerRescales`: the JPEG reader decodes one
// pixel larger than asked (sizes not divisible by the DCT scale) and makes
// an exact-size copy.
std::int64_t qtDecodeBytes(QSize size, QImage::Format format, bool readerRescales)
{
    if (size.isEmpty())
        return decodeBudgetBytes; // unknown until read: take it all, to be safe
    const std::int64_t pixels = std::int64_t(size.width()) * size.height();
    const int depth = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    std::int64_t bytes = pixels * depth / 8 * (readerRescales ? 2 : 1);
    switch (format) {
    // Smooth scaling takes the first four as they are; fitForDisplay
    // premultiplies the last two in place.
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_ARGB32:
    case QImage::Format_RGBA64:
        break;
    default: // the others it converts to 32 bits at full size first
        bytes += pixels * 4;
    }
    return bytes;
}

DecodedPicture failed(Problem p)
{
    DecodedPicture d;
    d.problem = p;
    return d;
}

// The sizes the info line shows, once the decoder has said what it read.
void noteSizes(DecodedPicture& d)
{
    if (d.info.pixels.isEmpty())
        d.info.pixels = d.originalSize;
    d.info.fileBytes = d.stamp.size;
}

DecodedPicture decodeWithQt(const QByteArray& data, const DecodeRequest& request, const CancelCheck& cancelled)
{
    QByteArray bytes = data; // shared, not copied
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true); // EXIF orientation, applied after scaling
    if (!reader.canRead())
        return failed(Problem::Damaged);

    const bool jpeg = isJpeg(data);
    if (jpeg && !jpegLooksComplete(data))
        return failed(Problem::Damaged);

    // Everything below is decided by the header, before any pixel is decoded.
    const QSize stored = reader.size();
    const QImage::Format format = reader.imageFormat();
    const bool rotated90 = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    QSize readSize = stored;
    auto bytesAt = [&](QSize size) {
        // A header that tells no size takes the whole budget, and no more: a
        // file cut off within its header is damaged, not too large.
        if (size.isEmpty())
            return decodeBudgetBytes;
        const bool rescales = size != stored && (stored.width() % size.width() || stored.height() % size.height());
        const QSize shown = fitSize(rotated90 ? size.transposed() : size, request.target);
        // The file's bytes stay in memory while it decodes.
        return qtDecodeBytes(size, format, jpeg && rescales) + std::int64_t(shown.width()) * shown.height() * 4 +
               std::int64_t(data.size());
    };
    if (jpeg && stored.isValid()) {
        // Qt's JPEG plugin turns a 1/2, 1/4 or 1/8 request into libjpeg's
        // DCT scaling, which skips most of the decoding work. A picture too
        // large for one decode at the scale the view wants shows coarser,
        // at the next scale down that fits.
        readSize = chooseJpegScaledSize(stored, rotated90, request.target);
        for (int d : {2, 4, 8}) {
            const QSize smaller(stored.width() / d, stored.height() / d);
            if (bytesAt(readSize) > decodeCapBytes() && smaller.width() < readSize.width() && !smaller.isEmpty())
                readSize = smaller;
        }
        if (readSize != stored)
            reader.setScaledSize(readSize);
    } else if (stored.isValid() && bytesAt(stored) > decodeBudgetBytes && pngScalesWhileReading(data)) {
        // The reader scales before it turns the picture upright.
        const QSize fit = fitSize(stored, rotated90 ? request.target.transposed() : request.target);
        if (fit.width() < stored.width()) {
            readSize = fit;
            reader.setScaledSize(readSize);
        }
    }
    const DecodeReservation reservation(bytesAt(readSize), cancelled);
    if (reservation.problem() == Problem::TooLarge)
        return tooLarge(bytesAt(readSize));
    if (reservation.problem() != Problem::None)
        return failed(reservation.problem());

    // Animations play through QMovie on the UI thread; here only the first
    // frame is decoded, to show at once and to learn the size.
    // QMovie holds a full-size frame and its scaled copy for as long as it
    // plays, outside any decode's reservation: a larger animation shows its
    // first frame, still.
    const bool animated = reader.supportsAnimation() && reader.imageCount() > 1 &&
                          qtDecodeBytes(stored, format, false) <= decodeBudgetBytes / 4;

    if (cancelled && cancelled())
        return failed(Problem::Cancelled);
    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return failed(Problem::Damaged);

    DecodedPicture d;
    d.decodedSize = decoded.size();
    d.originalSize = stored.isValid() ? (rotated90 ? stored.transposed() : stored) : decoded.size();
    if (cancelled && cancelled())
        return failed(Problem::Cancelled);
    d.image = fitForDisplay(std::move(decoded), request.target, request.devicePixelRatio);
    if (animated)
        d.animation = data;
    return d;
}

} // namespace

DecodedPicture decodePicture(const DecodeRequest& request, const CancelCheck& cancelled, const PreviewSink& preview)
{
    installDecodeLimits();
    trace::stage(request.path, "decode started");
    if (cancelled && cancelled())
        return failed(Problem::Cancelled);

    RegularFile file;
    FileStamp stamp;
    QByteArray data;
    Problem problem = openFile(request.path, &file, &stamp);
    if (problem == Problem::None && request.videoPoster) {
        DecodedPicture d = decodeVideoPoster(file.fd.get(), file.status.st_size, request, cancelled);
        d.stamp = stamp;
        d.target = request.target;
        noteSizes(d);
        trace::stage(request.path, "poster decoded");
        return d;
    }
    if (problem == Problem::None)
        problem = readMore(file.fd.get(), &data, std::min<std::int64_t>(file.status.st_size, previewReadBytes));
    if (problem != Problem::None) {
        DecodedPicture d = failed(problem);
        d.stamp = stamp;
        return d;
    }

    DecodedPicture d;
    std::optional<DecodedPicture> jpeg;
    if (isJpeg(data)) // libjpeg reads the rest itself, as it decodes
        jpeg = decodeJpeg(file.fd.get(), data, request, cancelled);
    if (jpeg) {
        d = std::move(*jpeg);
    } else if (looksLikeHeif(data)) { // libheif reads what it needs itself, and decides
        PreviewSink stampedPreview;
        if (preview) {
            stampedPreview = [&](DecodedPicture p) {
                p.stamp = stamp;
                p.target = request.target;
                noteSizes(p);
                trace::stage(request.path, "thumbnail decoded");
                preview(std::move(p));
            };
        }
        d = decodeHeif(file.fd.get(), file.status.st_size, request, cancelled, stampedPreview);
    } else if (file.status.st_size > decodeCapBytes()) {
        // Qt's decoders take the whole file in memory (JPEG, HEIF and video
        // are read as they decode, at any size).
        d = tooLarge(file.status.st_size);
    } else {
        if (readMore(file.fd.get(), &data, file.status.st_size) != Problem::None)
            return failed(Problem::Unreadable);
        trace::stage(request.path, "file read");
        if (cancelled && cancelled())
            return failed(Problem::Cancelled);
        d = decodeWithQt(data, request, cancelled); // and JPEGs libjpeg cannot give in RGB
    }
    d.stamp = stamp;
    d.target = request.target;
    noteSizes(d);
    return d;
}

DecodedPicture decodeGlance(const DecodeRequest& request, const CancelCheck& cancelled, const PreviewSink&)
{
    installDecodeLimits();
    DecodedPicture d;
    RegularFile file;
    FileStamp stamp;
    QByteArray start;
    Problem problem = cancelled && cancelled() ? Problem::Cancelled : openFile(request.path, &file, &stamp);
    if (problem == Problem::None)
        problem = readMore(file.fd.get(), &start, std::min<std::int64_t>(file.status.st_size, previewReadBytes));
    if (problem == Problem::None && isJpeg(start)) {
        if (auto jpeg = decodeJpeg(file.fd.get(), start, request, cancelled, JpegScale::Glance))
            d = std::move(*jpeg);
    } else {
        d.problem = problem;
    }
    d.isPreview = true;
    d.stamp = stamp;
    d.target = request.target;
    trace::stage(request.path, d.image.isNull() ? "no stand-in" : "stand-in decoded");
    return d;
}

DecodedPicture decodePreview(const DecodeRequest& request, const CancelCheck& cancelled, const PreviewSink&)
{
    DecodedPicture d;
    d.isPreview = true;
    if (cancelled && cancelled()) {
        d.problem = Problem::Cancelled;
        return d;
    }
    RegularFile file;
    FileStamp stamp;
    QByteArray start;
    Problem problem = openFile(request.path, &file, &stamp);
    if (problem == Problem::None)
        problem = readMore(file.fd.get(), &start, std::min<std::int64_t>(file.status.st_size, previewReadBytes));
    if (problem != Problem::None) {
        d.problem = problem;
        return d;
    }
    if (isJpeg(start))
        d = decodeJpegPreview(start, request);
    d.stamp = stamp;
    d.target = request.target;
    noteSizes(d);
    trace::stage(request.path, d.image.isNull() ? "no embedded preview" : "embedded preview decoded");
    return d;
}

} // namespace shoebox::imaging
