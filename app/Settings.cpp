#include "app/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace shoebox {

namespace {

QString folderKey(FolderRole role)
{
    return role == FolderRole::Source ? QStringLiteral("folders/source") : QStringLiteral("folders/destination");
}

const QString geometryKey = QStringLiteral("window/geometry");
const QString companionsKey = QStringLiteral("sorting/moveCompanionsTogether");
const QString recentKey = QStringLiteral("recentDestinations");
const QString levelOneKey = QStringLiteral("subfolder1");
const QString levelTwoKey = QStringLiteral("subfolder2");

} // namespace

// Named here rather than through the application object, so that the file
// is the same whoever opens it (the window's tests have no application name).
// QSettings reads the file as it is made, with a blocking open: a FIFO there
// would hang the program before its window shows, and a device could block
// or be anything. So the file is looked at first, in the folder QSettings
// uses on Linux (QStandardPaths' config folder); should something replace
// it between the look and the open, that is someone's deliberate doing.
Settings::Settings()
    : fileName_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/shoebox/shoebox.conf"))
{
    struct stat status {};
    if (::stat(QFile::encodeName(fileName_).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        const QString why =
            QCoreApplication::translate("Settings", "ignoring the settings file %1: it is not a regular file");
        qWarning("shoebox: %s", qPrintable(why.arg(fileName_)));
        return;
    }
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "shoebox", "shoebox");
    Q_ASSERT(settings_->fileName() == fileName_);
}

std::optional<FileURL> Settings::folder(FolderRole role) const
{
    if (!settings_)
        return std::nullopt;
    // Paths are bytes: stored as a byte array, never as text, so a name that
    // is not UTF-8 comes back as it was.
    const QByteArray bytes = settings_->value(folderKey(role)).toByteArray();
    if (!bytes.startsWith('/') || bytes.contains('\0'))
        return std::nullopt;
    return FileURL::fileURLWithPath(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

Result<> Settings::rememberFolder(FolderRole role, const FileURL& folder)
{
    if (!settings_)
        return {};
    const std::string& path = folder.path();
    settings_->setValue(folderKey(role), QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    return save();
}

bool Settings::moveCompanionsTogether() const
{
    return settings_ && settings_->value(companionsKey, false).toBool();
}

Result<> Settings::rememberMoveCompanionsTogether(bool on)
{
    if (!settings_)
        return {};
    settings_->setValue(companionsKey, on);
    return save();
}

// Subfolder names are text: the boxes they are typed into hold nothing else.
std::vector<SubfolderPair> Settings::recentDestinations() const
{
    std::vector<SubfolderPair> pairs;
    if (!settings_)
        return pairs;
    const int count = settings_->beginReadArray(recentKey);
    for (int i = 0; i < count; ++i) {
        settings_->setArrayIndex(i);
        pairs.push_back({settings_->value(levelOneKey).toString().toStdString(),
                         settings_->value(levelTwoKey).toString().toStdString()});
    }
    settings_->endArray();
    return pairs;
}

Result<> Settings::rememberRecentDestinations(const std::vector<SubfolderPair>& pairs)
{
    if (!settings_)
        return {};
    settings_->remove(recentKey); // an array written shorter keeps its old tail otherwise
    settings_->beginWriteArray(recentKey, static_cast<int>(pairs.size()));
    for (int i = 0; i < static_cast<int>(pairs.size()); ++i) {
        settings_->setArrayIndex(i);
        const SubfolderPair& pair = pairs[static_cast<std::size_t>(i)];
        settings_->setValue(levelOneKey, QString::fromStdString(pair.levelOne));
        settings_->setValue(levelTwoKey, QString::fromStdString(pair.levelTwo));
    }
    settings_->endArray();
    return save();
}

QByteArray Settings::windowGeometry() const
{
    return settings_ ? settings_->value(geometryKey).toByteArray() : QByteArray();
}

Result<> Settings::rememberWindowGeometry(const QByteArray& geometry)
{
    if (!settings_)
        return {};
    settings_->setValue(geometryKey, geometry);
    return save();
}

Result<> Settings::save()
{
    settings_->sync();
    switch (settings_->status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return failure("Could not save the settings to " + fileName_.toStdString() +
                       ": the file or its folder cannot be written");
    case QSettings::FormatError:
        break;
    }
    return failure("Could not save the settings to " + fileName_.toStdString() + ": the file is not a settings file");
}

} // namespace shoebox
