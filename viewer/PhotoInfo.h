#pragma once

#include <QDate>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <string_view>

// What a file on show is, beside its pixels: when it was taken, by which
// camera, its size. Read by the decode that shows it, off the UI thread.
// Shared with the media modules: what they use of it is inline.
namespace shoebox::imaging {

// When a photo was taken: the date and time on the camera's clock, and how
// far that clock was ahead of UTC when the file says so.
struct TakenAt {
    QDate date;
    QTime time;
    std::optional<int> offsetSeconds;
    friend bool operator==(const TakenAt&, const TakenAt&) = default;
};

struct PhotoInfo {
    std::optional<TakenAt> taken; // none: the file does not say
    QString make;                 // the camera, as the file names it; empty when it does not
    QString model;
    QSize pixels; // upright
    std::int64_t fileBytes = 0;
};

// EXIF's DateTimeOriginal ("2024:07:14 15:30:12") with its OffsetTimeOriginal
// ("+02:00", or empty): none for a blank or impossible date, which cameras
// write when their clock was never set.
std::optional<TakenAt> takenFromExif(std::string_view dateTime, std::string_view offset);

// The info line under the picture: "2024-07-14 15:30:12 +02:00 · Canon EOS
// 80D · 6000 × 4000 · 7.4 MB", "date unknown" first when the file does not
// say (never its modification time, which a copy changes).
QString infoLine(const PhotoInfo& info);

// A moment in UTC (a video's creation time; containers keep no zone) as the
// clock of `zone` showed it: the date the person filming saw, as far as this
// machine can tell.
inline TakenAt takenFromUtc(const QDateTime& utc, const QTimeZone& zone)
{
    const QDateTime there = utc.toTimeZone(zone);
    return {there.date(), there.time(), zone.offsetFromUtc(utc)};
}

} // namespace shoebox::imaging
