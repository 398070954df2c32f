#include "viewer/DecodedPicture.h"

#include <QCoreApplication>
#include <QLocale>

#include <cerrno>

#include <sys/stat.h>

namespace shoebox::imaging {

namespace {

// What is wrong, untranslated; null for what shows no text.
const char* reasonFor(Problem problem)
{
    switch (problem) {
    case Problem::None:
    case Problem::Cancelled:
        return nullptr;
    case Problem::Missing:
        return QT_TRANSLATE_NOOP("ImageView", "file is missing");
    case Problem::NotRegular:
        return QT_TRANSLATE_NOOP("ImageView", "not a regular file");
    case Problem::Empty:
        return QT_TRANSLATE_NOOP("ImageView", "empty file");
    case Problem::Unreadable:
        return QT_TRANSLATE_NOOP("ImageView", "file can’t be read");
    case Problem::Damaged:
        return QT_TRANSLATE_NOOP("ImageView", "unsupported or damaged image");
    case Problem::TooLarge:
        return QT_TRANSLATE_NOOP("ImageView", "picture too large to show");
    case Problem::NoHeifSupport:
        return QT_TRANSLATE_NOOP("ImageView", "HEIC support is not installed");
    }
    return nullptr;
}

// TooLarge when the decoder knows what the picture would need: the two
// figures, so that the user can tell a huge real picture (needs 1.4 GB
// where 1 GB is allowed) from a lying header (needs 23 GB).
constexpr const char* tooLargeNeeding = QT_TRANSLATE_NOOP(
    "ImageView", "picture too large to show (it would need %1 of memory; one picture may take %2 here)");

} // namespace

FileStamp stampOf(const struct stat& st)
{
    FileStamp s;
    s.size = st.st_size;
    s.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    return s;
}

Problem problemOfStatus(const struct stat& st)
{
    if (!S_ISREG(st.st_mode))
        return Problem::NotRegular;
    if (st.st_size == 0)
        return Problem::Empty;
    return Problem::None;
}

QString problemText(Problem problem, const QString& fileName)
{
    const char* why = reasonFor(problem);
    if (!why)
        return {};
    return QCoreApplication::translate("ImageView", "Can’t show “%1”: %2")
        .arg(fileName, QCoreApplication::translate("ImageView", why));
}

QString problemText(const DecodedPicture& picture, const QString& fileName, std::int64_t capBytes)
{
    if (picture.problem != Problem::TooLarge || picture.neededBytes <= 0)
        return problemText(picture.problem, fileName);
    const QLocale locale;
    const QString why =
        QCoreApplication::translate("ImageView", tooLargeNeeding)
            .arg(locale.formattedDataSize(picture.neededBytes, 1), locale.formattedDataSize(capBytes, 1));
    return QCoreApplication::translate("ImageView", "Can’t show “%1”: %2").arg(fileName, why);
}

DecodedPicture tooLarge(std::int64_t bytes)
{
    DecodedPicture d;
    d.problem = Problem::TooLarge;
    d.neededBytes = bytes;
    return d;
}

Problem problemForErrno(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return Problem::Missing;
    // openRegularFile's answers for what is not a regular file
    return (error == EINVAL || error == EISDIR) ? Problem::NotRegular : Problem::Unreadable;
}

Problem statPath(const std::string& path, FileStamp* stamp)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return problemForErrno(errno);
    if (Problem p = problemOfStatus(st); p != Problem::None)
        return p;
    if (stamp)
        *stamp = stampOf(st);
    return Problem::None;
}

} // namespace shoebox::imaging
