#pragma once

// Pictures made at run time for the image view's tests, beyond those every Qt test shares (JPEG and PNG through Qt,
// EXIF blocks: tests/support/Pictures.h): big JPEGs row by row through libjpeg (no full-size copy in memory), HEIF
// through libheif's encoder, or assembled from the boxes a test needs (grids, crops, rotations), which libheif 1.15
// cannot write, and videos through GStreamer.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>

#include <libheif/heif_cxx.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tests/support/Pictures.h"
#include "tests/support/TempDir.h"

namespace shoebox::testing {

// Writes `bytes` (raw: names need not be UTF-8); false for none, which a maker gives where it cannot make its file.
inline bool save(const std::string& path, const QByteArray& bytes)
{
    return !bytes.isEmpty() && !writeFile(path, bytes.toStdString()).empty();
}

inline QImage noise(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(image.bits()), image.sizeInBytes() / 4);
    return image;
}

// A JPEG of `size`, its left half `left` and its right half `right`, written a row at a time.
inline bool jpegOf(const std::string& path, QSize size, QColor left, QColor right)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file.get());
    c.image_width = JDIMENSION(size.width());
    c.image_height = JDIMENSION(size.height());
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 50, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> rgb;
    for (int x = 0; x < size.width(); ++x) {
        const QColor colour = x < size.width() / 2 ? left : right;
        rgb.insert(rgb.end(), {uchar(colour.red()), uchar(colour.green()), uchar(colour.blue())});
    }
    for (JSAMPROW row = rgb.data(); c.next_scanline < c.image_height;)
        jpeg_write_scanlines(&c, &row, 1);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

// ---- HEIF ----

// An ISO base media box, and one with a version and flags.
inline QByteArray box(const char* type, const QByteArray& body)
{
    return bigEndian(8 + quint64(body.size()), 4) + type + body;
}
inline QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body)
{
    return box(type, bigEndian(quint64(version), 1) + bigEndian(quint64(flags), 3) + body);
}

// The payload of the first top-level box of `type` in `file`, or nothing.
inline QByteArray topLevelBox(const QByteArray& file, const char* type)
{
    for (qsizetype at = 0; at + 8 <= file.size();) {
        const qsizetype size = qsizetype(file.mid(at, 4).toHex().toULongLong(nullptr, 16));
        if (size < 8)
            return {};
        if (file.mid(at + 4, 4) == type)
            return file.mid(at + 8, size - 8);
        at += size;
    }
    return {};
}

// What a HEIF file holds beside its picture.
struct HeifExtras {
    bool tenBit = false; // 10 bits a channel instead of 8
    int thumbnail = 0;   // a thumbnail this many pixels across, when given
    QByteArray exif = {};
};

// `image` (RGB, with alpha when it has an alpha channel) as a HEIF file libheif writes: ftyp, meta, one mdat. Empty
// where libheif has no HEVC encoder here, or it refuses.
inline QByteArray heifFromImage(const QImage& image, const HeifExtras& extras = {})
{
    if (!heif_have_encoder_for_format(heif_compression_HEVC))
        return {};
    const bool alpha = image.hasAlphaChannel(), tenBit = extras.tenBit;
    try {
        heif::Image raw;
        raw.create(image.width(), image.height(), heif_colorspace_RGB,
                   tenBit  ? heif_chroma_interleaved_RRGGBB_LE
                   : alpha ? heif_chroma_interleaved_RGBA
                           : heif_chroma_interleaved_RGB);
        raw.add_plane(heif_channel_interleaved, image.width(), image.height(), tenBit ? 10 : 8);
        int stride = 0;
        uint8_t* plane = raw.get_plane(heif_channel_interleaved, &stride);
        for (int y = 0; y < image.height(); ++y) {
            uint8_t* out = plane + qsizetype(y) * stride;
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                const int values[4] = {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
                for (int c = 0; c < (alpha ? 4 : 3); ++c) {
                    if (tenBit) { // 10 bits in 16, little-endian
                        *out++ = uchar(values[c] * 4 & 0xFF);
                        *out++ = uchar(values[c] * 4 >> 8);
                    } else {
                        *out++ = uchar(values[c]);
                    }
                }
            }
        }
        heif::Context context;
        heif::Encoder encoder(heif_compression_HEVC);
        encoder.set_lossy_quality(60);
        encoder.set_string_parameter("preset", "ultrafast");
        const heif::ImageHandle primary = context.encode_image(raw, encoder);
        if (extras.thumbnail > 0)
            context.encode_thumbnail(raw, primary, encoder, {}, extras.thumbnail);
        if (!extras.exif.isEmpty())
            context.add_exif_metadata(primary, extras.exif.constData(), int(extras.exif.size()));
        struct : heif::Context::Writer {
            QByteArray bytes;
            heif_error write(const void* data, size_t size) override
            {
                bytes.append(static_cast<const char*>(data), qsizetype(size));
                return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
            }
        } file;
        context.write(file);
        return file.bytes;
    } catch (const heif::Error&) {
        return {};
    }
}

// `heif` with every image size in its header ('ispe') replaced by `widthHeight` (8 bytes, in hex).
inline QByteArray claimingSize(QByteArray heif, const char* widthHeight)
{
    for (qsizetype at = heif.indexOf("ispe"); at >= 0; at = heif.indexOf("ispe", at + 1))
        heif.replace(at + 8, 8, QByteArray::fromHex(widthHeight));
    return heif;
}

// A blue 640x480 HEIC with a 160-pixel thumbnail, its header claiming `claim` when given, with an Exif block when
// given; false without HEVC.
inline bool writeHeic(const std::string& path, const char* claim = nullptr, const QByteArray& exif = {})
{
    const QByteArray heic = heifFromImage(solid(640, 480, Qt::blue), {false, 160, exif});
    return save(path, claim ? claimingSize(heic, claim) : heic);
}

// One coded picture: its decoder configuration (the whole 'hvcC' box) and its data.
struct CodedImage {
    QByteArray config;
    QByteArray data;
    QSize size;
    bool isNull() const { return data.isEmpty(); }
};

inline CodedImage codedImage(const QImage& image)
{
    const QByteArray file = heifFromImage(image.convertToFormat(QImage::Format_RGB32)); // no alpha item in the data
    const qsizetype at = file.indexOf("hvcC") - 4;
    if (at < 0)
        return {};
    const qsizetype size = qsizetype(file.mid(at, 4).toHex().toULongLong(nullptr, 16));
    return {file.mid(at, size), topLevelBox(file, "mdat"), image.size()};
}

inline QByteArray spatialExtent(QSize size)
{
    return fullBox("ispe", 0, 0, bigEndian(quint64(size.width()), 4) + bigEndian(quint64(size.height()), 4));
}

// One item of a HEIF file: its type, data, properties (whole boxes), and the items it is derived from (1-based).
struct HeifItem {
    QByteArray type;
    QByteArray data;
    std::vector<QByteArray> properties;
    std::vector<int> derivedFrom = {};
    bool hidden = false;
};

// A HEIF file of `items`, the first the primary image, as HEIF writers lay it out: ftyp, meta, one mdat.
inline QByteArray heifFile(const std::vector<HeifItem>& items, const QByteArray& majorBrand = "heic")
{
    QByteArray infos, associations, references, data;
    std::vector<QByteArray> properties;
    for (size_t i = 0; i < items.size(); ++i) {
        const HeifItem& item = items[i];
        const QByteArray id = bigEndian(i + 1, 2);
        infos += fullBox("infe", 2, item.hidden ? 1 : 0, id + bigEndian(0, 2) + item.type + QByteArray(1, '\0'));
        associations += id + bigEndian(item.properties.size(), 1);
        for (const QByteArray& property : item.properties) {
            auto found = std::find(properties.begin(), properties.end(), property);
            if (found == properties.end())
                found = properties.insert(properties.end(), property);
            const bool essential = property.mid(4, 4) != "ispe";
            associations += char((essential ? 0x80 : 0) | int(found - properties.begin() + 1));
        }
        if (!item.derivedFrom.empty()) {
            QByteArray from = id + bigEndian(item.derivedFrom.size(), 2);
            for (int source : item.derivedFrom)
                from += bigEndian(quint64(source), 2);
            references += box("dimg", from);
        }
        data += item.data;
    }
    QByteArray propertyBoxes;
    for (const QByteArray& property : properties)
        propertyBoxes += property;
    const QByteArray ftyp = box("ftyp", majorBrand + bigEndian(0, 4) + "mif1heic");
    auto meta = [&](quint64 dataStart) {
        QByteArray locations = bigEndian(0x44, 1) + bigEndian(0, 1) + bigEndian(items.size(), 2);
        for (size_t i = 0; i < items.size(); ++i) {
            locations += bigEndian(i + 1, 2) + bigEndian(0, 2) + bigEndian(1, 2) + bigEndian(dataStart, 4) +
                         bigEndian(quint64(items[i].data.size()), 4);
            dataStart += quint64(items[i].data.size());
        }
        return fullBox("meta", 0, 0,
                       fullBox("hdlr", 0, 0, bigEndian(0, 4) + "pict" + QByteArray(13, '\0')) +
                           fullBox("pitm", 0, 0, bigEndian(1, 2)) + fullBox("iloc", 0, 0, locations) +
                           fullBox("iinf", 0, 0, bigEndian(items.size(), 2) + infos) +
                           (references.isEmpty() ? QByteArray() : fullBox("iref", 0, 0, references)) +
                           box("iprp", box("ipco", propertyBoxes) +
                                           fullBox("ipma", 0, 0, bigEndian(items.size(), 4) + associations)));
    };
    return ftyp + meta(quint64(ftyp.size() + meta(0).size() + 8)) + box("mdat", data);
}

// A grid picture of `output` pixels as phones store their photos: tiles of one size, `columns` across, the
// picture cropped from their right and bottom edges. `tileAt(column, row)` is the coded tile for each place.
inline QByteArray heifGrid(int columns, int rows, QSize output,
                           const std::function<const CodedImage&(int column, int row)>& tileAt)
{
    const QByteArray layout = bigEndian(0, 2) + bigEndian(quint64(rows - 1), 1) + bigEndian(quint64(columns - 1), 1) +
                              bigEndian(quint64(output.width()), 2) + bigEndian(quint64(output.height()), 2);
    std::vector<HeifItem> items{{"grid", layout, {spatialExtent(output)}}};
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const CodedImage& tile = tileAt(c, r);
            items[0].derivedFrom.push_back(int(items.size()) + 1);
            items.push_back({"hvc1", tile.data, {tile.config, spatialExtent(tile.size)}, {}, true});
        }
    }
    return heifFile(items);
}

// ---- Video ----

// Three 320x240 frames of one colour (0xAARRGGBB), or of colour bars ("bars"), as H.264 in MP4, made at `made` when
// given (the movie header's creation time); false where GStreamer has no encoder.
inline bool writeClip(const std::string& path, const QString& argb, const QDateTime& made = {})
{
    const QStringList pattern =
        argb == "bars" ? QStringList{"pattern=smpte"} : QStringList{"pattern=solid-color", "foreground-color=" + argb};
    if (QProcess::execute("gst-launch-1.0",
                          QStringList{"-q", "videotestsrc", "num-buffers=3"} + pattern +
                              QStringList{"!", "videoconvert", "!", "openh264enc", "!", "h264parse", "!", "mp4mux", "!",
                                          "filesink", "location=" + QString::fromStdString(path)}) != 0)
        return false;
    QByteArray clip = QByteArray::fromStdString(readFile(path));
    const qsizetype at = clip.indexOf("mvhd"); // then version 0, flags, the creation time in seconds since 1904
    const qint64 since1904 = made.toSecsSinceEpoch() + 2082844800;
    return !made.isValid() || (at > 0 && save(path, clip.replace(at + 8, 4, bigEndian(quint64(since1904), 4))));
}

} // namespace shoebox::testing
