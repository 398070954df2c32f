#pragma once

// Pictures made at run time for the Qt tests: encoded images, and JPEGs with an EXIF block as cameras write it.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <cstdlib>
#include <vector>

namespace shoebox::testing {

inline QByteArray encode(const QImage& image, const char* format = "JPEG")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 80)); // a PNG at compression level 1: fast
    return bytes;
}

// Whether the middle of `image` is about `want`.
inline bool centreIs(const QImage& image, QColor want)
{
    const QRgb c = image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
    return std::abs(qRed(c) - want.red()) + std::abs(qGreen(c) - want.green()) + std::abs(qBlue(c) - want.blue()) < 100;
}

inline QImage solid(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

inline QByteArray bigEndian(quint64 value, int bytes)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(qsizetype(bytes) * 2, '0'));
}

// What the EXIF block holds; texts empty are left out.
struct ExifFields {
    int orientation = 1;
    QByteArray preview; // a JPEG of its own
    QByteArray dateTimeOriginal, offsetTimeOriginal, make, model;
};

namespace detail {

struct TiffEntry {
    quint16 tag, type; // 2 ASCII, 3 SHORT, 4 LONG
    QByteArray value;  // big-endian; text with its closing null
};

// One big-endian TIFF directory starting at `at`, the values longer than four bytes after it; `next` is the offset
// of the directory that follows, 0 for none.
inline QByteArray directory(quint32 at, const std::vector<TiffEntry>& entries, quint32 next)
{
    QByteArray head = bigEndian(entries.size(), 2), values;
    const quint32 valuesAt = at + 2 + 12 * quint32(entries.size()) + 4;
    for (const TiffEntry& e : entries) {
        const int unit = e.type == 3 ? 2 : e.type == 4 ? 4 : 1;
        head += bigEndian(e.tag, 2) + bigEndian(e.type, 2) + bigEndian(e.value.size() / unit, 4);
        if (e.value.size() <= 4) {
            head += e.value.leftJustified(4, '\0');
        } else {
            head += bigEndian(valuesAt + quint32(values.size()), 4);
            values += e.value;
        }
    }
    return head + bigEndian(next, 4) + values;
}

} // namespace detail

// An EXIF block as a JPEG's APP1 segment holds it ("Exif\0\0", then a TIFF structure): IFD0 (camera, orientation), the
// Exif IFD (date) and IFD1 (the preview).
inline QByteArray exifBlock(const ExifFields& fields)
{
    using detail::TiffEntry;
    auto text = [](const QByteArray& t) { return t + '\0'; };
    std::vector<TiffEntry> zero, exif, one;
    if (!fields.make.isEmpty())
        zero.push_back({0x010f, 2, text(fields.make)});
    if (!fields.model.isEmpty())
        zero.push_back({0x0110, 2, text(fields.model)});
    zero.push_back({0x0112, 3, bigEndian(fields.orientation, 2)});
    if (!fields.dateTimeOriginal.isEmpty())
        exif.push_back({0x9003, 2, text(fields.dateTimeOriginal)});
    if (!fields.offsetTimeOriginal.isEmpty())
        exif.push_back({0x9011, 2, text(fields.offsetTimeOriginal)});
    if (!exif.empty())
        zero.push_back({0x8769, 4, bigEndian(0, 4)}); // where the Exif IFD is, known once IFD0's size is
    // A directory's size does not depend on the offsets in it: each is placed by the sizes of those before it.
    const quint32 zeroAt = 8, exifAt = zeroAt + quint32(detail::directory(zeroAt, zero, 0).size());
    const quint32 oneAt = exifAt + (exif.empty() ? 0 : quint32(detail::directory(exifAt, exif, 0).size()));
    if (!exif.empty())
        zero.back().value = bigEndian(exifAt, 4);
    if (!fields.preview.isEmpty()) // IFD1's two entries take 30 bytes; the preview follows them
        one = {{0x0201, 4, bigEndian(oneAt + 30, 4)}, {0x0202, 4, bigEndian(fields.preview.size(), 4)}};
    QByteArray tiff =
        "MM" + bigEndian(42, 2) + bigEndian(zeroAt, 4) + detail::directory(zeroAt, zero, one.empty() ? 0 : oneAt);
    if (!exif.empty())
        tiff += detail::directory(exifAt, exif, 0);
    if (!one.empty())
        tiff += detail::directory(oneAt, one, 0) + fields.preview;
    return "Exif" + QByteArray(2, '\0') + tiff;
}

inline QByteArray jpegWithExif(const QImage& image, const ExifFields& fields)
{
    const QByteArray app1 = exifBlock(fields);
    return encode(image).insert(2, QByteArray::fromHex("ffe1") + bigEndian(app1.size() + 2, 2) + app1);
}

inline QByteArray jpegWithExif(const QImage& image, int orientation, const QByteArray& preview = {})
{
    return jpegWithExif(image, ExifFields{orientation, preview, {}, {}, {}, {}});
}

} // namespace shoebox::testing
