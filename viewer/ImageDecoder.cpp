#include "ImageDecoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageIOHandler>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <malloc.h>
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

Problem problemForErrno(int err)
{
    return (err == ENOENT || err == ENOTDIR) ? Problem::Missing : Problem::Unreadable;
}

Problem checkStat(const struct stat& st)
{
    if (!S_ISREG(st.st_mode))
        return Problem::NotRegular;
    if (st.st_size == 0)
        return Problem::Empty;
    if (st.st_size > kMaxFileBytes)
        return Problem::TooLarge;
    return Problem::None;
}

// Owns a file descriptor.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads a whole regular file. O_NONBLOCK keeps open() from waiting for a
// writer when the name turns out to be a FIFO; fstat then refuses it before
// anything reads from it.
Problem readRegularFile(const std::string& path, QByteArray* out, FileStamp* stamp)
{
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f.fd < 0)
        return problemForErrno(errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        return Problem::Unreadable;
    if (Problem p = checkStat(st); p != Problem::None)
        return p;
    *stamp = stampOf(st);

    out->resize(qsizetype(st.st_size));
    qsizetype done = 0;
    while (done < out->size()) {
        const ssize_t n = ::pread(f.fd, out->data() + done, size_t(out->size() - done), off_t(done));
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

bool isJpeg(const QByteArray& data)
{
    return data.size() >= 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 && uchar(data[2]) == 0xFF;
}

bool fitsDecodeLimit(QSize size)
{
    if (size.isEmpty())
        return true; // unknown until read; QImageReader's own limit applies
    return qint64(size.width()) * size.height() * 4 <= (qint64(kDecodeLimitMB) << 20);
}

DecodedPicture failed(Problem p)
{
    DecodedPicture d;
    d.problem = p;
    return d;
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

    const QSize stored = reader.size();
    const bool rotated90 = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    QSize readSize = stored;
    if (jpeg && stored.isValid()) {
        // Qt's JPEG plugin turns an exact 1/2, 1/4 or 1/8 request into
        // libjpeg's DCT scaling, which skips most of the decoding work.
        readSize = chooseJpegScaledSize(stored, rotated90, request.target);
        if (readSize != stored)
            reader.setScaledSize(readSize);
    }
    if (!fitsDecodeLimit(readSize))
        return failed(Problem::TooLarge);

    // Animations play through QMovie on the UI thread; here only the first
    // frame is decoded, to show at once and to learn the size.
    const bool animated = reader.supportsAnimation() && reader.imageCount() > 1;

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
    QString why;
    switch (problem) {
    case Problem::None:
    case Problem::Cancelled:
        return {};
    case Problem::Missing:
        why = QCoreApplication::translate("ImageView", "file is missing");
        break;
    case Problem::NotRegular:
        why = QCoreApplication::translate("ImageView", "not a regular file");
        break;
    case Problem::Empty:
        why = QCoreApplication::translate("ImageView", "empty file");
        break;
    case Problem::Unreadable:
        why = QCoreApplication::translate("ImageView", "file can’t be read");
        break;
    case Problem::Damaged:
        why = QCoreApplication::translate("ImageView", "unsupported or damaged image");
        break;
    case Problem::TooLarge:
        why = QCoreApplication::translate("ImageView", "image too large");
        break;
    case Problem::NoHeifSupport:
        why = QCoreApplication::translate("ImageView", "HEIC support is not installed");
        break;
    }
    return QCoreApplication::translate("ImageView", "Can’t show “%1”: %2").arg(fileName, why);
}

void installDecodeLimits()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(kDecodeLimitMB);
        // File buffers and decoded pictures are megabytes each and are freed
        // on other threads than they were made on. glibc raises its mmap
        // threshold after the first such free and then serves them from
        // per-thread arenas that fragment and never shrink (measured: peak
        // memory grew by half between 20 and 200 photos). A fixed threshold
        // keeps every large buffer in its own mapping, returned when freed.
        ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    });
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
        const QSize scaled(stored.width() / d, stored.height() / d);
        if (scaled.width() >= needWidth && scaled.height() >= needHeight)
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
    if (cancelled && cancelled())
        return failed(Problem::Cancelled);

    QByteArray data;
    FileStamp stamp;
    if (Problem p = readRegularFile(request.path, &data, &stamp); p != Problem::None) {
        DecodedPicture d = failed(p);
        d.stamp = stamp;
        return d;
    }
    if (cancelled && cancelled())
        return failed(Problem::Cancelled);

    PreviewSink stampedPreview;
    if (preview) {
        stampedPreview = [&](DecodedPicture d) {
            d.stamp = stamp;
            d.target = request.target;
            preview(std::move(d));
        };
    }
    DecodedPicture d = looksLikeHeif(data) ? decodeHeif(data, request, cancelled, stampedPreview)
                                           : decodeWithQt(data, request, cancelled);
    d.stamp = stamp;
    d.target = request.target;
    return d;
}

} // namespace shoebox::imaging
