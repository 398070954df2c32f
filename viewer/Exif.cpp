#include "viewer/Exif.h"

#include <QTransform>

#include <cstring>
#include <string_view>
#include <utility>

#include <libexif/exif-data.h>

namespace shoebox::imaging {

namespace {

// An ASCII tag's text up to its first null, or nothing when the tag is
// absent or of another format. Points into `exif`.
std::string_view asciiTag(ExifData* exif, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = exif_content_get_entry(exif->ifd[ifd], tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data)
        return {};
    const auto* text = reinterpret_cast<const char*>(entry->data);
    return std::string_view(text, ::strnlen(text, entry->size));
}

} // namespace

ExifSummary readExif(const QByteArray& data)
{
    ExifSummary summary;
    ExifData* exif = exif_data_new();
    if (!exif)
        return summary;
    // Read only: libexif would otherwise add the tags the standard requires.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, reinterpret_cast<const unsigned char*>(data.constData()),
                        static_cast<unsigned int>(data.size()));
    if (ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
        entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2) {
        const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        if (value >= 1 && value <= 8)
            summary.orientation = value;
    }
    if (exif->data && exif->size > 0)
        summary.thumbnail = QByteArray(reinterpret_cast<const char*>(exif->data), qsizetype(exif->size));
    summary.info.taken = takenFromExif(asciiTag(exif, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL),
                                       asciiTag(exif, EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL));
    for (auto [tag, text] : {std::pair{EXIF_TAG_MAKE, &summary.info.make}, {EXIF_TAG_MODEL, &summary.info.model}}) {
        const std::string_view bytes = asciiTag(exif, EXIF_IFD_0, tag);
        *text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).simplified();
    }
    exif_data_unref(exif);
    return summary;
}

PhotoInfo photoInfoFromExif(const QByteArray& data)
{
    return readExif(data).info;
}

QImage orient(const QImage& stored, int orientation)
{
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true); // a half turn
    case 4:
        return stored.mirrored(false, true);
    case 5: // transposed: a quarter turn clockwise, then mirrored
        return stored.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return stored.transformed(QTransform().rotate(90));
    case 7: // transversed
        return stored.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

QImage cropToShape(const QImage& thumbnail, QSize main)
{
    if (main.isEmpty() || thumbnail.isNull())
        return thumbnail;
    const QSize fit = main.scaled(thumbnail.size(), Qt::KeepAspectRatio);
    if (fit.width() < thumbnail.width() * 97 / 100 || fit.height() < thumbnail.height() * 97 / 100)
        return thumbnail.copy(
            QRect(QPoint((thumbnail.width() - fit.width()) / 2, (thumbnail.height() - fit.height()) / 2), fit));
    return thumbnail;
}

} // namespace shoebox::imaging
