#include "viewer/PhotoInfo.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <cstdlib>

namespace shoebox::imaging {

std::optional<TakenAt> takenFromExif(std::string_view dateTime, std::string_view offset)
{
    const auto text = [](std::string_view bytes) {
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).trimmed();
    };
    const QString when = text(dateTime);
    if (when.size() != 19 || when[10] != QLatin1Char(' '))
        return std::nullopt;
    TakenAt taken{QDate::fromString(when.left(10), QStringLiteral("yyyy:MM:dd")),
                  QTime::fromString(when.mid(11), QStringLiteral("HH:mm:ss")), std::nullopt};
    if (!taken.date.isValid() || !taken.time.isValid())
        return std::nullopt;
    const QString zone = text(offset);
    const QTime ahead = QTime::fromString(zone.mid(1), QStringLiteral("HH:mm"));
    if (zone.size() == 6 && (zone[0] == QLatin1Char('+') || zone[0] == QLatin1Char('-')) && ahead.isValid() &&
        ahead.hour() <= 14) {
        const int seconds = ahead.msecsSinceStartOfDay() / 1000;
        taken.offsetSeconds = zone[0] == QLatin1Char('-') ? -seconds : seconds;
    }
    return taken;
}

QString infoLine(const PhotoInfo& info)
{
    QStringList parts;
    if (const auto& taken = info.taken) {
        QString when = taken->date.toString(Qt::ISODate) + QLatin1Char(' ') + taken->time.toString(Qt::ISODate);
        if (const auto& offset = taken->offsetSeconds) {
            const int minutes = std::abs(*offset) / 60;
            when += QStringLiteral(" %1%2:%3")
                        .arg(*offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
        }
        parts << when;
    } else {
        parts << QCoreApplication::translate("PhotoInfo", "date unknown");
    }
    // Most models repeat the maker ("Canon" "Canon EOS 80D"; "NIKON
    // CORPORATION" "NIKON D750"): then the model says it all.
    const QString maker = info.make.section(QLatin1Char(' '), 0, 0);
    if (!maker.isEmpty() && info.model.startsWith(maker, Qt::CaseInsensitive))
        parts << info.model;
    else if (const QString camera = (info.make + QLatin1Char(' ') + info.model).trimmed(); !camera.isEmpty())
        parts << camera;
    if (!info.pixels.isEmpty())
        parts << QStringLiteral("%1 × %2").arg(info.pixels.width()).arg(info.pixels.height());
    parts << QLocale().formattedDataSize(info.fileBytes, 1, QLocale::DataSizeSIFormat);
    return parts.join(QStringLiteral(" · "));
}

} // namespace shoebox::imaging
