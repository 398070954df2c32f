#include "ImageDecoder.h"

#include "FileDescriptor.h"
#include "JpegDecoder.h"
#include "Trace.h"

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

FileStamp stampOf(const struct stat& st)
{
    FileStamp s;
    s.size = st.st_size;
    s.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    return s;
}

Problem checkStat(const struct stat& st)
{
    if (!S_ISREG(st.st_mode))
        return Problem::NotRegular;
    if (st.st_size == 0)
        return Problem::Empty;
    return Problem::None;
}

// Opens a regular file; a FIFO, device or socket is refused before
// anything reads from it (or waits for its writer).
Problem openFile(const std::string& path, RegularFile* file, FileStamp* stamp)
{
    if (const int error = openRegularFile(path, *file))
        return problemForErrno(error);
    if (Problem p = checkStat(file->status); p != Problem::None)
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
constexpr std::int64_t previewReadBytes = 96 * 1024;

bool isJpeg(const QByteArray& data)
{
    return data.size() >= 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 && uchar(data[2]) == 0xFF;
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
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
        break; // smooth scaling takes these as they are
    default:   // and first converts the others at full size
        bytes += pixels * (depth > 32 ? 8 : 4);
    }
    return bytes;
}

DecodedPicture failed(Problem p)
{
    DecodedPicture d;
    d.problem = p;
    return d;
}

// What is wrong, untranslated; null for what shows no text.
const char* reasonFor(Problem problem)
{
    switch (problem) {
    case Problem::None:
    case Problem::Cancelled:
        return nullptr;
    case Problem::Missing:
        return QT_TRANSLATE_NOOP("ImageView", "file is missing");
    case Problem::NotRegular:
        return QT_TRANSLATE_NOOP("ImageView", "not a regular file");
    case Problem::Empty:
        return QT_TRANSLATE_NOOP("ImageView", "empty file");
    case Problem::Unreadable:
        return QT_TRANSLATE_NOOP("ImageView", "file can’t be read");
    case Problem::Damaged:
        return QT_TRANSLATE_NOOP("ImageView", "unsupported or damaged image");
    case Problem::TooLarge:
        return QT_TRANSLATE_NOOP("ImageView", "picture too large to show");
    case Problem::NoHeifSupport:
        return QT_TRANSLATE_NOOP("ImageView", "HEIC support is not installed");
    }
    return nullptr;
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
        return qtDecodeBytes(size, format, jpeg && rescales) + std::int64_t(shown.width()) * shown.height() * 4;
    };
    if (jpeg && stored.isValid()) {
        // Qt's JPEG plugin turns a 1/2, 1/4 or 1/8 request into libjpeg's
        // DCT scaling, which skips most of the decoding work. A picture too
        // large for the budget at the scale the view wants shows coarser,
        // at the next scale down that fits.
        readSize = chooseJpegScaledSize(stored, rotated90, request.target);
        for (int d : {2, 4, 8}) {
            const QSize smaller(stored.width() / d, stored.height() / d);
            if (bytesAt(readSize) > decodeBudgetBytes && smaller.width() < readSize.width() && !smaller.isEmpty())
                readSize = smaller;
        }
        if (readSize != stored)
            reader.setScaledSize(readSize);
    }
    const DecodeReservation reservation(bytesAt(readSize), cancelled);
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
    d.image = fitForDisplay(decoded, request.target, request.devicePixelRatio);
    if (animated)
        d.animation = data;
    return d;
}

} // namespace

QString problemText(Problem problem, const QString& fileName)
{
    const char* why = reasonFor(problem);
    if (!why)
        return {};
    return QCoreApplication::translate("ImageView", "Can’t show “%1”: %2")
        .arg(fileName, QCoreApplication::translate("ImageView", why));
}

Problem problemForErrno(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return Problem::Missing;
    // openRegularFile's answers for what is not a regular file
    return (error == EINVAL || error == EISDIR) ? Problem::NotRegular : Problem::Unreadable;
}

Problem statPath(const std::string& path, FileStamp* stamp)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return problemForErrno(errno);
    if (Problem p = checkStat(st); p != Problem::None)
        return p;
    if (stamp)
        *stamp = stampOf(st);
    return Problem::None;
}

QSize fitSize(QSize image, QSize box)
{
    if (image.isEmpty() || box.isEmpty())
        return image;
    QSize s = image.scaled(box, Qt::KeepAspectRatio);
    return s.expandedTo(QSize(1, 1));
}

QSize chooseJpegScaledSize(QSize stored, bool rotated90, QSize target)
{
    if (stored.isEmpty() || target.isEmpty())
        return stored;
    const QSize box = rotated90 ? target.transposed() : target;
    const QSize fit = fitSize(stored, box);
    // A scale that falls short of the view by up to 2% still counts: that
    // last stretch is invisible on a photo, while the next larger scale
    // decodes four times the pixels and then has to shrink them again
    // (a 12 MP portrait in a 1600x1000 window: 1/4 instead of 1/2).
    const int needWidth = fit.width() * 98 / 100;
    const int needHeight = fit.height() * 98 / 100;
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

QImage fitForDisplay(const QImage& decoded, QSize target, qreal devicePixelRatio)
{
    QImage out = decoded;
    if (!target.isEmpty()) {
        const QSize fit = fitSize(decoded.size(), target);
        if (fit != decoded.size())
            out = decoded.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QImage::Format format = out.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (out.format() != format)
        out = out.convertToFormat(format);
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

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
    } else if (looksLikeHeif(data)) { // libheif reads what it needs itself
        PreviewSink stampedPreview;
        if (preview) {
            stampedPreview = [&](DecodedPicture p) {
                p.stamp = stamp;
                p.target = request.target;
                trace::stage(request.path, "thumbnail decoded");
                preview(std::move(p));
            };
        }
        d = decodeHeif(file.fd.get(), file.status.st_size, request, cancelled, stampedPreview);
    } else if (file.status.st_size > maximumFileBytes) {
        d = failed(Problem::TooLarge);
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
    trace::stage(request.path, d.image.isNull() ? "no embedded preview" : "embedded preview decoded");
    return d;
}

} // namespace shoebox::imaging
