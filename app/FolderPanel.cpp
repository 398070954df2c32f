#include "app/FolderPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include "app/QtControls.h"
#include "platform/Text.h"
#include "sorting/Translation.h"

namespace shoebox {

namespace {

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A path as the dialog showed it: U+FFFD for bytes that are not UTF-8, and
// one line.
std::string shownAsText(const std::string& path)
{
    return oneLine(toUtf8(toQString(path)));
}

bool isUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QUrl startUrl(const std::optional<FileURL>& folder)
{
    // Qt's own dialog opens a folder by its name as text, which reaches no
    // folder whose path is not UTF-8: start at the nearest one it can open.
    for (FileURL at = folder.value_or(FileURL::fileURLWithPath("/")); folder; at = at.deletingLastPathComponent()) {
        const QByteArray path = QByteArray::fromStdString(at.path());
        if (isFolder(at.path()) && isUtf8(path))
            return QUrl::fromLocalFile(QString::fromUtf8(path));
        if (at.path() == "/")
            break;
    }
    return QUrl::fromLocalFile(QDir::homePath());
}

// A message of the panel in the user's language, with `arguments` (bytes,
// not always UTF-8) put in as they are.
std::string text(const char* source, std::initializer_list<std::string_view> arguments)
{
    return withArguments(QCoreApplication::translate("FolderPanel", source).toStdString(), arguments);
}

QUrl runFolderDialog(QWidget* parent, const QString& title, const QUrl& start)
{
    return QFileDialog::getExistingDirectoryUrl(parent, title, start, QFileDialog::ShowDirsOnly,
                                                {QStringLiteral("file")});
}

// The one name in `folder` that shows as `shown`. Hand-written because no
// library maps text back to the bytes it was decoded from: the names are
// listed as bytes and each is decoded the way Qt decoded the answer.
Result<std::string> nameShownAs(const std::string& folder, const QByteArray& shown)
{
    const QString wanted = QString::fromUtf8(shown);
    const std::string display = shownAsText((folder == "/" ? std::string() : folder) + "/" + shown.toStdString());
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        // The window speaks the user's language, the reason too; strerror's own buffer is shared between threads.
        const int error = errno;
        char reason[256];
        return failure(text(QT_TRANSLATE_NOOP("FolderPanel", "Could not open the folder “%1”: %2"),
                            {shownAsText(folder), ::strerror_r(error, reason, sizeof reason)}));
    }
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) == wanted)
            matches.emplace_back(name);
    }
    ::closedir(dir);
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty())
        return failure(text(
            QT_TRANSLATE_NOOP("FolderPanel", "The folder “%1” was not found: its name is not valid text"), {display}));
    const int others = static_cast<int>(matches.size()) - 1;
    return failure(QCoreApplication::translate("FolderPanel",
                                               "The folder “%1” cannot be told apart from %n other folder(s) whose "
                                               "names show the same",
                                               "", others)
                       .arg(toQString(display))
                       .toStdString());
}

} // namespace

Result<FileURL> folderFromDialog(const QUrl& url)
{
    if (!url.isLocalFile())
        return failure(text(QT_TRANSLATE_NOOP("FolderPanel", "The location “%1” is not a local folder"),
                            {oneLine(url.toDisplayString().toStdString())}));
    // The escaped form keeps every byte a dialog working in URLs was given;
    // one working in text has already put U+FFFD for each lost byte.
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    static const QByteArray replacement = QStringLiteral("\uFFFD").toUtf8();
    if (!path.contains(replacement))
        return FileURL::fileURLWithPath(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));

    std::string found;
    for (const QByteArray& name : path.split('/')) {
        if (name.isEmpty())
            continue;
        if (name.contains(replacement)) {
            auto real = nameShownAs(found.empty() ? "/" : found, name);
            if (!real)
                return std::unexpected(real.error());
            found += "/" + *real;
        } else {
            found += "/" + name.toStdString();
        }
    }
    return FileURL::fileURLWithPath(found.empty() ? "/" : found);
}

FolderPanel::FolderPanel(QWidget* parent, Dialog dialog)
    : parent_(parent), dialog_(dialog ? std::move(dialog) : Dialog(runFolderDialog)),
      title_(QCoreApplication::translate("FolderPanel", "Choose a Folder"))
{
}

void FolderPanel::prepare(QString title, std::optional<FileURL> startFolder)
{
    title_ = std::move(title);
    startFolder_ = std::move(startFolder);
}

std::optional<FileURL> FolderPanel::chooseFolder()
{
    const QUrl answer = dialog_(parent_, title_, startUrl(startFolder_));
    if (answer.isEmpty())
        return std::nullopt;
    auto folder = folderFromDialog(answer);
    if (!folder) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Shoebox"),
                        QCoreApplication::translate("FolderPanel", "This Folder Can’t Be Used"), QMessageBox::Ok,
                        parent_);
        box.setObjectName(QStringLiteral("folderRefusedAlert"));
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(
            QCoreApplication::translate(
                "FolderPanel",
                "%1. Rename it in a file manager, or give it on the command line: shoebox SOURCE DESTINATION.")
                .arg(toQString(folder.error().description)));
        box.exec();
        return std::nullopt; // as if cancelled: nothing changes
    }
    return *folder;
}

} // namespace shoebox
