#include "QtControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include "Text.h"

namespace shoebox {

QString toQString(std::string_view utf8)
{
    // fromUtf8 turns every byte that is not UTF-8 into U+FFFD.
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toStdString();
}

std::string LineEditField::stringValue() const
{
    return toUtf8(edit_->text());
}

void LineEditField::setStringValue(std::string_view text)
{
    edit_->setText(toQString(text));
}

std::string ComboBoxField::stringValue() const
{
    return toUtf8(box_->currentText());
}

void ComboBoxField::setStringValue(std::string_view text)
{
    box_->setCurrentText(toQString(text));
}

LabelField::LabelField(QLabel* label, Accessible accessible) : label_(label), accessible_(accessible)
{
    label_->setTextFormat(Qt::PlainText);
}

std::string LabelField::stringValue() const
{
    return toUtf8(label_->text());
}

void LabelField::setStringValue(std::string_view text)
{
    const QString shown = toQString(text);
    label_->setText(shown);
    if (accessible_ == Accessible::NameIsText)
        label_->setAccessibleName(shown);
    else
        label_->setAccessibleDescription(shown);
}

std::string StatusBarField::stringValue() const
{
    return toUtf8(bar_->currentMessage());
}

void StatusBarField::setStringValue(std::string_view text)
{
    bar_->showMessage(toQString(text));
}

void ActionMenuItem::setTitle(std::string_view title)
{
    action_->setText(toQString(title).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void ActionMenuItem::setEnabled(bool enabled)
{
    action_->setEnabled(enabled);
}

void ButtonControl::setEnabled(bool enabled)
{
    button_->setEnabled(enabled);
}

// QProgressBar counts in whole numbers; the positions it shows are whole.
void ProgressBarControl::setMinValue(double value)
{
    bar_->setMinimum(static_cast<int>(std::lround(value)));
}

void ProgressBarControl::setMaxValue(double value)
{
    bar_->setMaximum(static_cast<int>(std::lround(value)));
}

void ProgressBarControl::setDoubleValue(double value)
{
    bar_->setValue(static_cast<int>(std::lround(value)));
}

long PopUpMenuControl::indexOfSelectedItem() const
{
    return box_->currentIndex();
}

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
    for (std::optional<FileURL> at = folder; at; at = at->deletingLastPathComponent()) {
        const QByteArray path = QByteArray::fromStdString(at->path());
        if (isFolder(at->path()) && isUtf8(path))
            return QUrl::fromLocalFile(QString::fromUtf8(path));
        if (at->path() == "/")
            break;
    }
    return QUrl::fromLocalFile(QDir::homePath());
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
    if (!dir)
        return failure("Could not open the folder \"" + shownAsText(folder) + "\": " + std::strerror(errno));
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
        return failure("The folder \"" + display + "\" was not found: its name is not valid text");
    return failure("The folder \"" + display + "\" cannot be told apart from " + std::to_string(matches.size() - 1) +
                   " other folder(s) whose names show the same");
}

} // namespace

Result<FileURL> folderFromDialog(const QUrl& url)
{
    if (!url.isLocalFile())
        return failure("The location \"" + oneLine(url.toDisplayString().toStdString()) + "\" is not a local folder");
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
      title_(QObject::tr("Choose a Folder"))
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
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Shoebox"), QObject::tr("This Folder Can’t Be Used"),
                        QMessageBox::Ok, parent_);
        box.setObjectName(QStringLiteral("folderRefusedAlert"));
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(
            toQString(folder.error().description) +
            QObject::tr(". Rename it in a file manager, or give it on the command line: shoebox SOURCE DESTINATION."));
        box.exec();
        return std::nullopt; // as if cancelled: nothing changes
    }
    return *folder;
}

void WarningAlert::showWarning(std::string_view messageText, std::string_view informativeText)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Shoebox"), toQString(messageText), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("warningAlert"));
    box.setInformativeText(toQString(informativeText));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), option.palette, isEnabled(), shown,
                          foregroundRole());
    // The whole text as a tooltip only while it is cut short; set only on a
    // change, since every assignment sends an event.
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip)
        setToolTip(tip);
}

} // namespace shoebox
