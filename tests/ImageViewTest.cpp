// The image view and its decoders on the offscreen platform, every picture and video made at run time.

#include <gtest/gtest.h>

#include "platform/FileDescriptor.h"
#include "tests/PictureMakers.h"
#include "tests/support/QtWait.h"
#include "tests/support/SlowMount.h"
#include "tests/support/TempDir.h"
#include "viewer/DecodeBudget.h"
#include "viewer/ImageDecoder.h"
#include "viewer/ImageViewWidget.h"
#include "viewer/JpegDecoder.h"
#include "viewer/MovieProbe.h"

#include <QBuffer>
#include <QCursor>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <libheif/heif_cxx.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using shoebox::FileURL;
using shoebox::ImageViewWidget;
using shoebox::testing::bigEndian;
using shoebox::testing::box;
using shoebox::testing::centreIs;
using shoebox::testing::encode;
using shoebox::testing::exifBlock;
using shoebox::testing::jpegWithExif;
using shoebox::testing::noise;
using shoebox::testing::solid;
using shoebox::testing::waitUntil;
namespace imaging = shoebox::imaging;
using imaging::CancelCheck;
using imaging::Problem;

namespace {

// Raw bytes: names need not be UTF-8. True, for the makers below.
const auto write = [](const std::string& path, const QByteArray& bytes) {
    return !shoebox::testing::writeFile(path, bytes.toStdString()).empty();
};

// A 1x1 GIF looping over a red frame and a blue one, 20 ms each.
const QByteArray redBlueGif = QByteArray::fromHex(
    "47494638396101000100f10000ff00000000ff00000000000021ff0b4e45545343415045322e30030100000021f90400020000002c00000000"
    "0100010000020244010021f90400020000002c00000000010001000002024c01003b");

// A blue 640x480 HEIC with a 160-pixel thumbnail, its header claiming `claim` when given, with an Exif block when
// given; false without HEVC.
bool writeHeic(const std::string& path, const char* claim = nullptr, const QByteArray& exif = {})
{
    if (!heif_have_encoder_for_format(heif_compression_HEVC))
        return false;
    heif::Image image;
    image.create(640, 480, heif_colorspace_RGB, heif_chroma_interleaved_RGB);
    image.add_plane(heif_channel_interleaved, 640, 480, 8);
    int stride = 0;
    uint8_t* plane = image.get_plane(heif_channel_interleaved, &stride);
    for (int i = 0; i < stride * 480; ++i)
        plane[i] = i % stride % 3 == 2 ? 255 : 0;
    heif::Context context;
    heif::Encoder encoder(heif_compression_HEVC);
    const heif::ImageHandle primary = context.encode_image(image, encoder);
    context.encode_thumbnail(image, primary, encoder, {}, 160);
    if (!exif.isEmpty())
        context.add_exif_metadata(primary, exif.constData(), int(exif.size()));
    context.write_to_file(path);
    const QByteArray heic = QByteArray::fromStdString(shoebox::testing::readFile(path));
    return write(path, claim ? shoebox::testing::claimingSize(heic, QByteArray::fromHex(claim)) : heic);
}

// Three 320x240 frames of one colour (0xAARRGGBB) as H.264 in MP4, made at `made` when given (the movie header's
// creation time); false where GStreamer has no encoder.
bool writeClip(const std::string& path, const QString& argb, const QDateTime& made = {})
{
    if (QProcess::execute("gst-launch-1.0",
                          {"-q", "videotestsrc", "num-buffers=3", "pattern=solid-color", "foreground-color=" + argb,
                           "!", "videoconvert", "!", "openh264enc", "!", "h264parse", "!", "mp4mux", "!", "filesink",
                           "location=" + QString::fromStdString(path)}) != 0)
        return false;
    if (!made.isValid())
        return true;
    QByteArray clip = QByteArray::fromStdString(shoebox::testing::readFile(path));
    const qsizetype at = clip.indexOf("mvhd"); // then version 0, flags, the creation time in seconds since 1904
    const qint64 since1904 = made.toSecsSinceEpoch() + 2082844800;
    return at > 0 && write(path, clip.replace(at + 8, 4, bigEndian(quint64(since1904), 4)));
}

class ImageViewTest : public ::testing::Test {
protected:
    ImageViewTest()
    {
        view.resize(400, 300);
        view.show();
    }
    std::string path(const std::string& name) const { return dir / name; }
    FileURL url(const std::string& name) const { return FileURL::fileURLWithPath(dir / name); }

    shoebox::testing::TempDir dir;
    ImageViewWidget view;
};

// Guards an EXIF orientation turned or mirrored otherwise than Qt does, a wasteful DCT scale, or a name read as text.
TEST_F(ImageViewTest, EveryExifOrientationShowsUprightAsQtTurnsIt)
{
    QImage stored = solid(1600, 1200, Qt::white); // three coloured corners tell every turn and mirror apart
    QPainter(&stored).fillRect(0, 0, 400, 300, Qt::red);
    QPainter(&stored).fillRect(1200, 0, 400, 300, Qt::green);
    QPainter(&stored).fillRect(0, 900, 400, 300, Qt::blue);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QByteArray jpeg = jpegWithExif(stored, orientation);
        const std::string name = "caf\xE9-" + std::to_string(orientation) + ".jpg";
        write(path(name), jpeg);
        const imaging::DecodedPicture d = imaging::decodePicture({path(name), QSize(400, 300), 1.0});
        const bool turned = orientation >= 5;
        EXPECT_EQ(d.originalSize, turned ? QSize(1200, 1600) : QSize(1600, 1200)) << orientation;
        EXPECT_EQ(d.decodedSize, turned ? QSize(300, 400) : QSize(400, 300)) << orientation;
        EXPECT_EQ(d.image.size(), turned ? QSize(225, 300) : QSize(400, 300)) << orientation;
        QBuffer buffer(&jpeg);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QImage expected = reader.read().scaled(d.image.size());
        for (QPointF at : {QPointF(0.1, 0.1), QPointF(0.9, 0.1), QPointF(0.1, 0.9), QPointF(0.9, 0.9)}) {
            const QPoint p(int(at.x() * d.image.width()), int(at.y() * d.image.height()));
            EXPECT_EQ(QColor(d.image.pixel(p)).name(), QColor(expected.pixel(p)).name()) << orientation;
        }
    }
}

// Guards a held key waiting for decodes, showing another file's picture, or leaving the neighbours undecoded.
TEST_F(ImageViewTest, HeldKeyShowsEachFilesOwnPreviewAtOnceThenTheSharpPicture)
{
    constexpr int count = 5, withoutPreview = 2;
    auto colour = [](int file, bool preview) { return QColor::fromHsv(file * 70 + (preview ? 35 : 0), 255, 230); };
    for (int i = 0; i < count; ++i) {
        QImage picture = noise(2400, 1800, quint32(i)); // slow to decode
        QPainter(&picture).fillRect(900, 600, 600, 600, colour(i, false));
        const QByteArray preview = i == withoutPreview ? QByteArray() : encode(solid(160, 120, colour(i, true)));
        write(path(std::to_string(i) + ".jpg"), jpegWithExif(picture, 1, preview));
    }
    auto file = [&](int i) { return url(std::to_string(std::clamp(i, 0, count - 1)) + ".jpg"); };
    auto shows = [&](int i, bool preview) { return centreIs(view.currentImage(), colour(i, preview)); };
    int painted = -1, previews = 0;
    QObject::connect(&view, &ImageViewWidget::framePainted, [&] {
        painted = view.currentURL().lastPathComponent()[0] - '0';
        EXPECT_TRUE(shows(painted, false) || shows(painted, true)) << painted;
    });
    for (int i = 0; i < count; ++i) {
        view.setImage(file(i));
        if (!view.isCached(file(i)) && view.hasPreview(file(i))) {
            EXPECT_TRUE(shows(i, true)) << i;
            ++previews;
        }
        view.setNeighbours({file(i + 1), file(i - 1), file(i + 2)});
        ASSERT_TRUE(waitUntil([&] {
            return painted == i && (view.hasPreview(file(i + 1)) || i + 1 == withoutPreview);
        })) << i;
    }
    EXPECT_GT(previews, 0);
    EXPECT_TRUE(waitUntil([&] { return view.pendingDecodes() == 0; }));
    EXPECT_TRUE(shows(count - 1, false)); // sharp, and no neighbour's picture
    view.setImage(file(count - 2));       // decoded ahead: sharp without an event loop turn
    EXPECT_TRUE(shows(count - 2, false));
}

// Guards a long thin strip asked for at a scale that leaves it no rows: the decoder divided by zero.
TEST(JpegScaleTest, NeverRoundsASideToNothing)
{
    EXPECT_FALSE(imaging::chooseJpegScaledSize({4000, 7}, false, {400, 300}).isEmpty());
    EXPECT_FALSE(imaging::chooseJpegScaledSize({7, 4000}, true, {400, 300}).isEmpty());
}

// Guards a held key's stand-in decoded finer than it needs (slower than the key) or so coarse it no longer fills the
// view, turned the wrong way, or offered for a file with no coarse decode.
TEST(JpegScaleTest, StandInsDecodeAtTheCoarsestScaleThatStillFillsTheView)
{
    EXPECT_EQ(imaging::chooseJpegGlanceSize({6000, 4000}, false, {1600, 1000}), QSize(750, 500));
    EXPECT_EQ(imaging::chooseJpegGlanceSize({6000, 4000}, true, {1600, 1000}), QSize(750, 500));
    EXPECT_EQ(imaging::chooseJpegGlanceSize({4000, 3000}, false, {1600, 1000}), QSize(1000, 750));
    shoebox::testing::TempDir dir;
    const QImage picture = noise(2400, 1800, 7);
    ASSERT_TRUE(write(dir / "a.jpg", jpegWithExif(picture, 6)) && write(dir / "a.png", encode(picture, "PNG")));
    const imaging::DecodedPicture glance = imaging::decodeGlance({dir / "a.jpg", {400, 300}});
    EXPECT_TRUE(glance.isPreview && glance.problem == Problem::None);
    EXPECT_EQ(glance.decodedSize, QSize(225, 300)) << "1/8, upright";
    EXPECT_EQ(glance.image.size(), QSize(225, 300)) << "fitted to the view";
    EXPECT_TRUE(imaging::decodeGlance({dir / "a.png", {400, 300}}).image.isNull());
}

struct Unshowable {
    const char* label;
    const char* reason;
    std::function<bool(const std::string& path)> make; // false: this machine cannot make it
    const char* ext = ".jpg";
    friend void PrintTo(const Unshowable& c, std::ostream* out) { *out << c.label; }
};

class UnshowableTest : public ImageViewTest, public ::testing::WithParamInterface<Unshowable> {};

// Guards a wrong or late reason, the previous file's picture lingering, or a replaced file's cached result shown.
TEST_P(UnshowableTest, ShowsWhyNeverThePreviousPictureAndNothingStale)
{
    const std::string bad = std::string(GetParam().label) + "-\xFF" + GetParam().ext; // names need not be UTF-8
    if (!GetParam().make(path(bad)))
        GTEST_SKIP() << "cannot make a " << GetParam().label << " file here";
    write(path("good.jpg"), encode(solid(640, 480, Qt::red)));
    view.setImage(url("good.jpg"));
    ASSERT_TRUE(waitUntil([&] { return !view.currentImage().isNull(); }));
    int painted = 0;
    QObject::connect(&view, &ImageViewWidget::framePainted, [&] { ++painted; });
    view.setImage(url(bad));
    EXPECT_TRUE(view.currentImage().isNull());
    ASSERT_TRUE(waitUntil([&] { return !view.placeholderText().isEmpty(); }));
    const QString text = view.placeholderText();
    EXPECT_TRUE(text.contains(QString::fromUtf8(bad)) && text.contains(QString::fromUtf8(GetParam().reason)))
        << text.toStdString();
    EXPECT_EQ(view.accessibleDescription(), text);
    EXPECT_TRUE(waitUntil([&] { return painted > 0; }));
    EXPECT_FALSE(waitUntil([&] { return !view.currentImage().isNull() || view.placeholderText() != text; }, 100));
    if (std::string(GetParam().ext) == ".mp4")
        return; // a picture named .mp4 is played as a video
    std::filesystem::remove_all(path(bad));
    write(path(bad), encode(solid(640, 480, Qt::blue)));
    view.setImage(url(bad));
    EXPECT_TRUE(waitUntil([&] { return centreIs(view.currentImage(), Qt::blue); }));
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnshowableTest,
    ::testing::Values(
        Unshowable{"missing", "file is missing", [](auto&) { return true; }},
        Unshowable{"folder", "not a regular file", [](auto& p) { return std::filesystem::create_directory(p); }},
        Unshowable{"fifo", "not a regular file", [](auto& p) { return ::mkfifo(p.c_str(), 0644) == 0; }},
        Unshowable{"empty", "empty file", [](auto& p) { return write(p, {}); }},
        Unshowable{"truncated", "unsupported or damaged image",
                   [](auto& p) { return write(p, encode(noise(640, 480, 7)).chopped(5000)); }},
        Unshowable{"garbage", "unsupported or damaged image",
                   [](auto& p) { return write(p, encode(noise(64, 64, 3), "BMP").mid(54)); }},
        Unshowable{"gifHeaderOnly", "unsupported or damaged image", [](auto& p) { return write(p, "GIF89a"); }, ".gif"},
        Unshowable{"heic16000", "picture too large to show (it would need 1.",
                   [](auto& p) { return writeHeic(p, "00003e8000003e80"); }, ".heic"},
        Unshowable{"heic65500", "picture too large to show (it would need 2",
                   [](auto& p) { return writeHeic(p, "0000ffdc0000ffdc"); }, ".heic"},
        Unshowable{"video", "Can’t play", [](auto& p) { return write(p, bigEndian(24, 4) + "ftypmp42not a movie"); },
                   ".mp4"}),
    [](const auto& info) { return std::string(info.param.label); });

// Guards a playable layout refused, or a damaged movie handed to a player that may never say so.
TEST(MovieProbeTest, TellsCompleteMoviesFromDamagedOnes)
{
    auto complete = [](const QByteArray& bytes) {
        const shoebox::UniqueFd fd(::memfd_create("clip.mov", MFD_CLOEXEC));
        EXPECT_EQ(::write(fd.get(), bytes.data(), size_t(bytes.size())), bytes.size());
        return shoebox::media::movieLooksComplete(fd.get(), bytes.size());
    };
    const QByteArray ftyp = box("ftyp", "qt  "), moov = box("moov", box("mvhd", QByteArray(100, 'm')));
    const QByteArray mdat = box("mdat", QByteArray(4000, 'v'));
    EXPECT_TRUE(complete(ftyp + moov + mdat));                                     // fast start
    EXPECT_TRUE(complete(ftyp + box("wide", "") + mdat + moov));                   // camera MOV: header last
    EXPECT_TRUE(complete(moov + bigEndian(0, 4) + "mdat" + QByteArray(300, 'v'))); // size 0: to the end
    EXPECT_TRUE(complete(ftyp + bigEndian(1, 4) + "mdat" + bigEndian(66, 8) + QByteArray(50, 'v') + moov)); // 64-bit

    EXPECT_FALSE(complete(ftyp + mdat));                                   // no movie header
    EXPECT_FALSE(complete((ftyp + mdat + moov).left(ftyp.size() + 1000))); // cut short
    EXPECT_FALSE(complete(ftyp + moov + "junk"));                          // trailing bytes
    EXPECT_FALSE(complete(box("mo\x01v", "") + moov));                     // not a box type
}

// Guards the next video showing nothing until its player starts, or another video's first frame.
TEST_F(ImageViewTest, AVideoNextInLineShowsItsOwnFirstFrameAtOnce)
{
    if (!writeClip(path("red.mp4"), "0xffff0000") || !writeClip(path("blue.mp4"), "0xff0000ff"))
        GTEST_SKIP() << "no gst-launch-1.0 with an H.264 encoder here";
    view.setNeighbours({url("red.mp4"), url("blue.mp4")});
    ASSERT_TRUE(waitUntil([&] { return view.isCached(url("red.mp4")) && view.isCached(url("blue.mp4")); }, 20000));
    for (const auto& [name, colour] : {std::pair{"blue.mp4", Qt::blue}, std::pair{"red.mp4", Qt::red}}) {
        view.setImage(url(name)); // no event loop turn before looking
        EXPECT_TRUE(centreIs(view.currentImage(), colour)) << name;
    }
}

// Guards a kind of file telling its date, camera or size wrongly or not at all, the preview's read missed, or a file
// without a date given one (its modification time).
TEST_F(ImageViewTest, EveryKindTellsWhenAndWithWhatItWasTaken)
{
    const QByteArray tiny = encode(solid(32, 24, Qt::green)); // a preview: the info comes before the picture
    write(path("a.jpg"),
          jpegWithExif(solid(320, 240, Qt::red), {6, tiny, "2024:07:14 15:30:12", "+02:00", "Canon", "Canon EOS 80D"}));
    write(path("b.png"), encode(solid(64, 48, Qt::blue), "PNG"));
    const bool heic =
        writeHeic(path("c.heic"), nullptr, exifBlock({1, {}, "2023:12:24 18:00:00", "", "Apple", "iPhone 15 Pro"}));
    const QDateTime filmed(QDate(2024, 7, 14), QTime(22, 30), QTimeZone::utc());
    const bool mp4 = writeClip(path("d.mp4"), "0xff00ff00", filmed);
    // A video's time is UTC, shown as the clocks here showed it (the date suggestions' table tries other zones).
    const imaging::TakenAt here = imaging::takenFromUtc(filmed, QTimeZone::systemTimeZone());
    const std::pair<const char*, QString> files[] = {
        {"a.jpg", "2024-07-14 15:30:12 +02:00 · Canon EOS 80D · 240 × 320 · "},
        {"b.png", "date unknown · 64 × 48 · "},
        {"c.heic", heic ? "2023-12-24 18:00:00 · Apple iPhone 15 Pro · 640 × 480 · " : ""},
        {"d.mp4", mp4 ? imaging::infoLine({here, {}, {}, {320, 240}, 0}).section(" · ", 0, -2) + " · " : ""},
    };
    for (const auto& [name, line] : files) {
        if (line.isEmpty())
            continue; // this machine cannot make it
        view.setImage(url(name));
        EXPECT_FALSE(view.currentInfo()) << name << ": the last file's";
        ASSERT_TRUE(waitUntil([&] { return view.currentInfo().has_value(); }, 20000)) << name;
        const QString size = QLocale().formattedDataSize(QFileInfo(QString::fromStdString(path(name))).size(), 1,
                                                         QLocale::DataSizeSIFormat);
        EXPECT_EQ(imaging::infoLine(*view.currentInfo()).toStdString(), (line + size).toStdString());
    }
}

// Guards 1:1 showing the fitted picture enlarged rather than the stored pixels, zoom steps or panning off by any
// pixel, the zoom not held at the pointer, a zoomed picture outliving its file, and a video zoomed.
TEST_F(ImageViewTest, ZoomShowsTheStoredPixelsAndPans)
{
    // A one-pixel checkerboard: at 1:1 the view's pixels alternate, fitted or halved they blur to grey. A red
    // square marks the point (400, 300).
    QImage board(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y)
        for (int x = 0; x < board.width(); ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QPainter(&board).fillRect(396, 296, 8, 8, Qt::red);
    write(path("board.png"), encode(board, "PNG"));
    write(path("other.png"), encode(solid(64, 48, Qt::blue), "PNG"));
    // What the view paints at `at`: "checks", "runs of 2" (2x), "grey", or the colour's name.
    auto seen = [&](QPoint at) {
        const QImage shown = view.grab().toImage();
        const QRgb a = shown.pixel(at), b = shown.pixel(at + QPoint(1, 0)), c = shown.pixel(at + QPoint(2, 0));
        if (qGray(a) + qGray(b) == 255 && qGray(a) * qGray(b) == 0)
            return std::string(a == c ? "checks" : "runs of 2");
        if (a == b && b != c && (qGray(a) == 0 || qGray(a) == 255))
            return std::string("runs of 2");
        if (std::abs(qGray(a) - 128) < 30 && std::abs(qGray(b) - 128) < 30 && qRed(a) == qBlue(a))
            return std::string("grey");
        return QColor(a).name().toStdString();
    };
    const QPoint elsewhere(20, 150);
    view.setImage(url("board.png"));
    ASSERT_TRUE(waitUntil([&] { return view.isCached(url("board.png")); }));
    EXPECT_EQ(seen(elsewhere), "grey");

    // 1:1 held at the pointer: the marker, at (100, 75) fitted, stays under it.
    QCursor::setPos(view.mapToGlobal(QPoint(100, 75)));
    view.toggleActualSize();
    EXPECT_TRUE(waitUntil([&] { return seen(elsewhere) == "checks"; })) << seen(elsewhere);
    EXPECT_EQ(seen(QPoint(98, 73)), "#ff0000");
    view.pan(1, 0); // a tenth of the view: 40 pixels
    EXPECT_EQ(seen(QPoint(58, 73)) + " " + seen(QPoint(98, 73)), "#ff0000 checks");
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(&view, QPoint(230, 160));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(230, 160));
    EXPECT_EQ(seen(QPoint(88, 83)), "#ff0000") << "dragged 30 right and 10 down";
    view.zoomIn();
    EXPECT_EQ(view.zoom(), 2);
    EXPECT_EQ(seen(elsewhere), "runs of 2");
    view.zoomOut();
    view.zoomOut();
    EXPECT_EQ(view.zoom(), 0.5);
    EXPECT_TRUE(waitUntil([&] { return seen(elsewhere) == "grey"; })) << seen(elsewhere);
    view.toggleActualSize();
    EXPECT_EQ(view.zoom(), 0);

    // Away from the picture, 1:1 holds the middle; another file starts fitted.
    QCursor::setPos(view.mapToGlobal(QPoint(-50, -50)));
    view.toggleActualSize();
    EXPECT_TRUE(waitUntil([&] { return seen(elsewhere) == "checks"; })) << seen(elsewhere);
    view.setImage(url("other.png"));
    EXPECT_EQ(view.zoom(), 0);
    ASSERT_TRUE(waitUntil([&] { return centreIs(view.grab().toImage(), Qt::blue); }));
    view.setImage(url("board.png"));
    EXPECT_EQ(seen(elsewhere), "grey");

    if (writeClip(path("clip.mp4"), "0xffff0000")) {
        view.setImage(url("clip.mp4"));
        view.toggleActualSize();
        view.zoomIn();
        EXPECT_EQ(view.zoom(), 0) << "videos ignore zoom";
    }
}

// Guards a rotated phone video's poster shown as stored (sideways), so that it turns when playback starts.
TEST_F(ImageViewTest, ARotatedVideosPosterStandsAsItPlays)
{
    // Colour bars, left to right from white to blue, as a phone held upright stores them: sideways, with the
    // track's matrix saying to turn them a quarter clockwise.
    if (QProcess::execute("gst-launch-1.0", {"-q", "videotestsrc", "num-buffers=3", "pattern=smpte", "!",
                                             "video/x-raw,width=320,height=240", "!", "videoconvert", "!",
                                             "openh264enc", "!", "h264parse", "!", "qtmux", "!", "filesink",
                                             "location=" + QString::fromStdString(path("portrait.mov"))}) != 0)
        GTEST_SKIP() << "no gst-launch-1.0 with an H.264 encoder here";
    QByteArray movie = QByteArray::fromStdString(shoebox::testing::readFile(path("portrait.mov")));
    const qsizetype header = movie.indexOf("tkhd");
    ASSERT_GT(header, 0);
    const qsizetype matrix = header + (movie[header + 4] == 1 ? 56 : 44);
    movie.replace(matrix, 36,
                  bigEndian(0, 4) + bigEndian(0x10000, 4) + bigEndian(0, 4) + bigEndian(0xffff0000, 4) +
                      bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(240 << 16, 4) + bigEndian(0, 4) +
                      bigEndian(0x40000000, 4));
    write(path("portrait.mov"), movie);
    imaging::DecodeRequest request{path("portrait.mov"), QSize(300, 400), 1.0, true};
    const imaging::DecodedPicture poster = imaging::decodePicture(request);
    EXPECT_EQ(poster.originalSize, QSize(240, 320));
    EXPECT_EQ(poster.image.size(), QSize(300, 400));
    EXPECT_TRUE(centreIs(poster.image.copy(0, 0, 300, 30), Qt::white));  // the white bar on top
    EXPECT_TRUE(centreIs(poster.image.copy(0, 370, 300, 30), Qt::blue)); // and the blue one below
}

// Guards a scale to fit that samples instead of averaging (moiré from fine detail: fabric, fences, text), in any
// format Qt reads a picture into, or a small picture stretched into blocks.
TEST(FittingTest, OnePixelDetailScalesDownToEvenGreyAndSmallPicturesScaleUpSmoothly)
{
    shoebox::testing::TempDir dir;
    QImage pattern(4000, 3000, QImage::Format_Mono); // a two-colour PNG is stored with one bit a pixel
    for (int y = 0; y < pattern.height(); ++y)
        std::fill_n(pattern.scanLine(y), pattern.bytesPerLine(), y % 2 ? 0x55 : 0xAA);
    pattern.setColorTable({qRgb(30, 30, 30), qRgb(230, 230, 230)});
    auto spread = [](const QImage& image, auto difference) {
        int most = 0;
        for (int y = 2; y < image.height() - 2; ++y) {
            for (int x = 2; x < image.width() - 3; ++x)
                most = std::max(most, difference(qGray(image.pixel(x, y)), qGray(image.pixel(x + 1, y))));
        }
        return most;
    };
    for (const auto& [name, image] : {std::pair{"1-bit.png", pattern},
                                      {"8-bit.png", pattern.convertToFormat(QImage::Format_Grayscale8)},
                                      {"rgb.jpg", pattern.convertToFormat(QImage::Format_RGB32)},
                                      {"small.png", pattern.copy(0, 0, 40, 30)}}) {
        write(dir / name, encode(image, std::string(name).ends_with("png") ? "PNG" : "JPEG"));
        const imaging::DecodedPicture d = imaging::decodePicture({dir / name, QSize(1920, 1080), 1.0});
        ASSERT_EQ(d.image.height(), 1080) << name;
        if (std::string(name) == "small.png") { // a step of 200 spread over the 36 pixels one pixel grew to
            EXPECT_LT(spread(d.image, [](int a, int b) { return std::abs(a - b); }), 100) << name;
        } else { // 30 and 230 averaged, within the beat an area average leaves at 2.8:1
            EXPECT_LT(spread(d.image, [](int a, int b) { return std::max(std::abs(a - 130), std::abs(b - 130)); }), 24)
                << name;
        }
    }
}

// Guards an animated GIF shown still or at its own size.
TEST_F(ImageViewTest, AnimatedGifAnimatesScaledToTheView)
{
    write(path("anim.gif"), redBlueGif);
    view.setImage(url("anim.gif"));
    bool red = false, blue = false;
    EXPECT_TRUE(waitUntil([&] {
        red |= centreIs(view.currentImage(), Qt::red);
        blue |= centreIs(view.currentImage(), Qt::blue);
        return red && blue;
    }));
    EXPECT_EQ(view.currentImage().height(), 300);
}

// Guards a HEIC without its quick thumbnail first (also while a big picture decodes alone), or with the thumbnail
// cached as its picture.
TEST_F(ImageViewTest, HeicShowsItsThumbnailFirstThenTheFullPicture)
{
    if (!writeHeic(path("photo.heic")))
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    std::vector<imaging::DecodedPicture> got;
    got.push_back(imaging::decodePicture({path("photo.heic"), QSize(400, 300), 1.0}, {},
                                         [&](imaging::DecodedPicture p) { got.push_back(std::move(p)); }));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].isPreview && got[0].decodedSize.width() <= 160 && centreIs(got[0].image, Qt::blue));
    EXPECT_TRUE(!got[1].isPreview && got[1].decodedSize == QSize(640, 480) && centreIs(got[1].image, Qt::blue));
    {
        const imaging::DecodeReservation alone(imaging::decodeBudgetBytes + 1, {});
        bool previewed = false;
        int asked = 0;
        const imaging::DecodedPicture full = imaging::decodePicture(
            {path("photo.heic"), QSize(400, 300), 1.0}, [&] { return ++asked > (previewed ? 3 : 300); },
            [&](const imaging::DecodedPicture&) { previewed = true; });
        EXPECT_TRUE(previewed);
        EXPECT_EQ(full.problem, Problem::Cancelled); // the picture itself waits for the big one
    }
    view.setImage(url("photo.heic"));
    ASSERT_TRUE(waitUntil([&] { return view.isCached(url("photo.heic")); }));
    EXPECT_TRUE(view.currentImage().size() == QSize(400, 300) && centreIs(view.currentImage(), Qt::blue));
}

// Guards a picture over the budget decoding beside others or waiting forever behind a stream of small ones, the cap
// not refusing, or a decode that does not stop when its file is no longer wanted.
TEST(DecodeBudgetTest, APictureOverTheBudgetDecodesAloneAndOnlyOneOverTheCapIsRefused)
{
    using imaging::DecodeReservation;
    constexpr std::int64_t small = 1 << 20, big = imaging::decodeBudgetBytes + 1;
    EXPECT_EQ(DecodeReservation(imaging::decodeCapBytes() + 1, {}).problem(), Problem::TooLarge);
    auto cancelledAfter = [](int polls) { return [polls, asked = 0]() mutable { return ++asked > polls; }; };
    {
        const DecodeReservation other(small, {});
        EXPECT_EQ(DecodeReservation(big, cancelledAfter(3)).problem(), Problem::Cancelled); // not beside another
        const DecodeReservation rest(imaging::decodeBudgetBytes - small, {});
        EXPECT_EQ(rest.problem(), Problem::None);                                         // ordinary ones share it
        EXPECT_EQ(DecodeReservation(1, cancelledAfter(3)).problem(), Problem::Cancelled); // and wait when it is full
    }
    {
        const DecodeReservation alone(big, {});
        ASSERT_EQ(alone.problem(), Problem::None);
        EXPECT_EQ(DecodeReservation(small, cancelledAfter(3)).problem(), Problem::Cancelled); // nothing beside it
    }
    // Once a big one waits, small ones wait behind it rather than keep it waiting.
    auto other = std::make_unique<DecodeReservation>(small, CancelCheck{});
    std::atomic<bool> ran = false;
    std::thread waiting([&] { ran = DecodeReservation(big, {}).problem() == Problem::None; });
    EXPECT_TRUE(waitUntil([&] { return DecodeReservation(small, cancelledAfter(2)).problem() == Problem::Cancelled; }));
    EXPECT_FALSE(ran);
    other.reset();
    waiting.join();
    EXPECT_TRUE(ran);

    // A big photo shows at the DCT scale the view wants (for this view, whole: 250 MB, so alone), and stops between
    // rows once nobody wants it.
    shoebox::testing::TempDir dir;
    const std::string photo = dir / "48mp.jpg";
    write(photo, encode(solid(8000, 6000, QColor(40, 90, 200))));
    EXPECT_EQ(imaging::decodePicture({photo, QSize(4200, 3150), 1.0}).decodedSize, QSize(8000, 6000)); // alone
    int asked = 0;
    EXPECT_EQ(imaging::decodePicture({photo, QSize(1920, 1080), 1.0}, [&] { return ++asked > 20; }).problem,
              Problem::Cancelled);
}

} // namespace
