#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

#include "platform/ProgramFolder.h"

namespace shoebox {

Translations::Translations(const QLocale& locale)
{
    // Each tries the locale's languages in the user's order (de_DE, then
    // de); a language without a file leaves its translator empty.
    (void)own_.load(locale, QStringLiteral("shoebox"), QStringLiteral("_"), folder());
    // Debian package qt6-translations-l10n.
    (void)qt_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

Translations::~Translations()
{
    if (installed_ && QCoreApplication::instance()) {
        QCoreApplication::removeTranslator(&own_);
        QCoreApplication::removeTranslator(&qt_);
    }
}

QString Translations::text(const char* context, const char* source) const
{
    const QString translated = own_.translate(context, source);
    return translated.isEmpty() ? QString::fromUtf8(source) : translated;
}

void Translations::install()
{
    // Each one installed is asked first; ours may override Qt's.
    if (!qt_.isEmpty())
        QCoreApplication::installTranslator(&qt_);
    if (!own_.isEmpty())
        QCoreApplication::installTranslator(&own_);
    installed_ = true;
}

QString Translations::folder()
{
    const std::string program = programFolder();
    return QString::fromLocal8Bit(program.data(), static_cast<qsizetype>(program.size())) + QLatin1Char('/') +
           QStringLiteral(SHOEBOX_TRANSLATION_RELATIVE_DIR);
}

} // namespace shoebox
