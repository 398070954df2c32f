#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// Turning a file into a picture the size it is shown at. Everything here is
// safe to call from any thread: the image view runs it on its worker pool.
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
    TooLarge,      // would need more memory than the decode budget
    NoHeifSupport, // a HEIF file, but the HEIF module cannot be loaded
    Cancelled,     // nobody wants the result any more; never shown
};

// Text for the view, e.g. "Can’t show “x.jpg”: file is missing".
QString problemText(Problem problem, const QString& fileName);

// ---- the bound on decode memory ----
//
// A picture's header can claim any size: a 225-byte JPEG may claim
// 65500x65500, which even at 1/8 scale is 270 MB of pixels. So before
// anything is decoded, the memory it needs for pixels is worked out from
// the header, and every decode in flight in the process shares this budget:
// a decode waits until its pixels fit beside the others', and a picture
// that needs more than the whole budget is refused (Problem::TooLarge).
//
// 144 MiB holds the largest pictures people take: a 24 MP phone HEIC while
// libheif converts it (5.5 bytes a pixel: its 4:2:0 planes and the RGBA
// result; libheif 1.15 cannot decode at a smaller scale), or any picture of
// up to 36 MP in Qt's 4-byte formats (an 8K screenshot). A JPEG larger than
// the budget allows at the scale the view wants decodes at the next smaller
// DCT scale that fits (a 48 MP photo on a 4K screen at 1/2, 48 MB), so
// camera and phone JPEGs always show. With the view's 64 MB cache, the
// process stays near 250 MB however large the pictures in a folder, and
// pictures refused by their header cost nothing. The same number is
// QImageReader's allocation limit, which also bounds QMovie's frames.
inline constexpr std::int64_t decodeBudgetBytes = std::int64_t(144) << 20;
// Qt's decoders take the whole file in memory: a file larger than this
// that only they can decode is refused (TooLarge). JPEG, HEIF and video
// are read as they decode, at any size.
inline constexpr std::int64_t maximumFileBytes = std::int64_t(512) << 20;

// Sets the process-wide decode limits once (QImageReader's allocation limit
// is a static). Called by the view's constructor and by decodePicture.
void installDecodeLimits();

// Takes `bytes` of the decode budget, waiting while other decodes hold
// what it needs: Problem::None once it has them (give them back with
// releaseDecodeBytes), TooLarge when they exceed the whole budget,
// Cancelled when `cancelled` turns true while waiting.
Problem reserveDecodeBytes(std::int64_t bytes, const CancelCheck& cancelled);
void releaseDecodeBytes(std::int64_t bytes);

// Holds a reservation until it goes out of scope.
class DecodeReservation {
public:
    using Reserve = Problem (*)(std::int64_t bytes, const CancelCheck& cancelled);
    using Release = void (*)(std::int64_t bytes);

    // `problem()` tells whether it holds the bytes. The HEIF and video
    // modules, which cannot call into the executable, reserve through the
    // functions it lends them (DecodeHost in MediaModule.h).
    DecodeReservation(std::int64_t bytes, const CancelCheck& cancelled, Reserve reserve = &reserveDecodeBytes,
                      Release release = &releaseDecodeBytes)
        : problem_(reserve(bytes, cancelled)), bytes_(problem_ == Problem::None ? bytes : 0), release_(release)
    {
    }
    DecodeReservation(const DecodeReservation&) = delete;
    DecodeReservation& operator=(const DecodeReservation&) = delete;
    ~DecodeReservation()
    {
        if (bytes_ > 0)
            release_(bytes_);
    }
    Problem problem() const { return problem_; }

private:
    const Problem problem_;
    const std::int64_t bytes_;
    const Release release_;
};

struct DecodeRequest {
    std::string path; // raw bytes, as the kernel knows the name
    QSize target;     // the view's size in device pixels
    qreal devicePixelRatio = 1.0;
    bool videoPoster = false; // an MP4/MOV: its first frame (MediaModule.h)
};

struct DecodedPicture {
    Problem problem = Problem::None;
    FileStamp stamp;        // from fstat of the opened file
    QImage image;           // exactly the size it is shown at within `target`
    QSize originalSize;     // the stored picture's size, upright
    QSize decodedSize;      // what the codec produced before fitting (upright)
    QSize target;           // the device-pixel box `image` was made for
    QByteArray animation;   // whole file, when it is an animation for QMovie
    bool isPreview = false; // an embedded thumbnail; the full picture follows

    qint64 cost() const { return image.sizeInBytes() + animation.size() + 256; }
};

// Why a file could not be opened or looked at, from the errno value of
// stat or of openRegularFile (FileDescriptor.h).
Problem problemForErrno(int error);

// Checks a path without opening it (a stat): missing, not a regular file,
// empty. Fills `stamp` when the answer is Problem::None.
Problem statPath(const std::string& path, FileStamp* stamp);

using PreviewSink = std::function<void(DecodedPicture)>;

// Opens the file (regular files only, never blocking on a FIFO), reads it,
// decodes it at the size it will be shown and scales it to fit `target`
// with its aspect ratio kept. `cancelled` is polled between stages;
// `preview` (optional) receives a quick, smaller picture first when the
// file carries one (HEIF thumbnails).
DecodedPicture decodePicture(const DecodeRequest& request, const CancelCheck& cancelled = {},
                             const PreviewSink& preview = {});

// The preview embedded in the file (a JPEG's EXIF thumbnail), read from its
// first bytes: upright, not scaled, isPreview; a null image when the file
// has none. Cheap enough to run for every file a held key passes.
DecodedPicture decodePreview(const DecodeRequest& request, const CancelCheck& cancelled = {},
                             const PreviewSink& unused = {});

// ---- building blocks, public so tests can check them ----

// `image` scaled to fit inside `box`, aspect ratio kept, at least 1x1.
QSize fitSize(QSize image, QSize box);

// The size to ask Qt's JPEG reader for: the stored size divided by the
// largest of 8, 4, 2 that still covers the picture's fitted size in
// `target`, or falls short of it by at most 2%, and leaves neither side at
// zero; the stored size when none does. Sizes round down. `rotated90`
// (EXIF orientations 5-8) swaps the box first, because the reader scales
// before it rotates. The decoder may then pick a smaller scale to stay
// within the decode budget.
QSize chooseJpegScaledSize(QSize stored, bool rotated90, QSize target);

// Walks the JPEG markers: false when the data stops before the end-of-image
// marker (a truncated download or copy), which libjpeg would otherwise
// paint as a grey lower part without failing.
bool jpegLooksComplete(const QByteArray& data);

// HEIF/HEIC (HeifDecoder.cpp). Recognising is done here; decoding loads
// the HEIF module on first use (MediaModule.h).
bool looksLikeHeif(const QByteArray& data);
// `fd` is the open file (`size` bytes), whose first bytes looksLikeHeif took.
DecodedPicture decodeHeif(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled,
                          const PreviewSink& preview);

// The first frame of the MP4/MOV open as `fd` (`size` bytes), through the
// video module (HeifDecoder.cpp): a null image when there is none to be
// had, Damaged when the file's structure is broken.
DecodedPicture decodeVideoPoster(int fd, std::int64_t size, const DecodeRequest& request, const CancelCheck& cancelled);

// Scales a decoded picture to its fitted size in `target` (off the UI
// thread) and converts it to a format that paints without conversion.
QImage fitForDisplay(const QImage& decoded, QSize target, qreal devicePixelRatio);

} // namespace shoebox::imaging
