#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "viewer/PhotoInfo.h"

// What a decode is asked for and what it gives back, shared by every
// decoder, the queue, the cache and the view. Safe on any thread.
struct stat;

namespace shoebox::imaging {

// Who a file is, as far as a cached picture is concerned: a file replaced
// under the same name (new inode, new size or new modification time) is a
// different file.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

using CancelCheck = std::function<bool()>;

// Why a file shows a placeholder instead of a picture.
enum class Problem {
    None,
    Missing,
    NotRegular,
    Empty,
    Unreadable,
    Damaged,       // unsupported format, corrupt or truncated data
    TooLarge,      // would need more memory than one decode may take (decodeCapBytes)
    NoHeifSupport, // a HEIF file, but the HEIF module cannot be loaded
    Cancelled,     // nobody wants the result any more; never shown
};

// Text for the view, e.g. "Can’t show “x.jpg”: file is missing".
QString problemText(Problem problem, const QString& fileName);

struct DecodeRequest {
    std::string path; // raw bytes, as the kernel knows the name
    QSize target;     // the view's size in device pixels
    qreal devicePixelRatio = 1.0;
    bool videoPoster = false; // an MP4/MOV: its first frame (MediaModule.h)
};

struct DecodedPicture {
    Problem problem = Problem::None;
    FileStamp stamp;              // from fstat of the opened file
    QImage image;                 // exactly the size it is shown at within `target`
    QSize originalSize;           // the stored picture's size, upright
    QSize decodedSize;            // what the codec produced before fitting (upright)
    QSize target;                 // the device-pixel box `image` was made for
    QByteArray animation;         // whole file, when it is an animation for QMovie
    bool isPreview = false;       // an embedded thumbnail; the full picture follows
    std::int64_t neededBytes = 0; // TooLarge: what decoding it would take, when known
    PhotoInfo info;               // as far as this decode read it

    qint64 cost() const { return image.sizeInBytes() + animation.size() + 256; }
};

using PreviewSink = std::function<void(DecodedPicture)>;

// problemText for a decode's result; TooLarge also says how much memory the
// picture would need and how much one may take (`capBytes`: the decode
// budget's cap).
QString problemText(const DecodedPicture& picture, const QString& fileName, std::int64_t capBytes);

// A TooLarge result for a picture that would need `bytes`.
DecodedPicture tooLarge(std::int64_t bytes);

// Why a file could not be opened or looked at, from the errno value of
// stat or of openRegularFile (FileDescriptor.h).
Problem problemForErrno(int error);

// Checks a path without opening it (a stat): missing, not a regular file,
// empty. Fills `stamp` when the answer is Problem::None.
Problem statPath(const std::string& path, FileStamp* stamp);

// The stamp of a file from its stat, and what keeps it from being shown
// (not a regular file, empty), or Problem::None.
FileStamp stampOf(const struct stat& status);
Problem problemOfStatus(const struct stat& status);

} // namespace shoebox::imaging
