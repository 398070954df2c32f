// The image view on the offscreen platform: what it shows and when, every picture and video made at run time.

#include <gtest/gtest.h>

#include "tests/PictureMakers.h"
#include "tests/support/QtWait.h"
#include "viewer/ImageViewWidget.h"

#include <QCursor>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QTest>

#include <filesystem>

#include <sys/stat.h>

using shoebox::FileURL;
using shoebox::ImageViewWidget;
using namespace shoebox::testing;
namespace imaging = shoebox::imaging;

namespace {

class ImageViewTest : public ::testing::Test {
protected:
    ImageViewTest()
    {
        view.resize(400, 300);
        view.show();
    }
    std::string path(const std::string& name) const { return dir / name; }
    FileURL url(const std::string& name) const { return FileURL::fileURLWithPath(dir / name); }

    TempDir dir;
    ImageViewWidget view;
};

// Guards a held key waiting for decodes, showing another file's picture, or leaving the neighbours undecoded.
TEST_F(ImageViewTest, HeldKeyShowsEachFilesOwnPreviewAtOnceThenTheSharpPicture)
{
    constexpr int count = 5, withoutPreview = 2;
    auto colour = [](int file, bool preview) { return QColor::fromHsv(file * 70 + (preview ? 35 : 0), 255, 230); };
    for (int i = 0; i < count; ++i) {
        QImage picture = noise(2400, 1800, quint32(i)); // slow to decode
        QPainter(&picture).fillRect(900, 600, 600, 600, colour(i, false));
        const QByteArray preview = i == withoutPreview ? QByteArray() : encode(solid(160, 120, colour(i, true)));
        save(path(std::to_string(i) + ".jpg"), jpegWithExif(picture, 1, preview));
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
    save(path("good.jpg"), encode(solid(640, 480, Qt::red)));
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
    save(path(bad), encode(solid(640, 480, Qt::blue)));
    view.setImage(url(bad));
    EXPECT_TRUE(waitUntil([&] { return centreIs(view.currentImage(), Qt::blue); }));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, UnshowableTest, ::testing::Values(
    Unshowable{"missing", "file is missing", [](auto&) { return true; }},
    Unshowable{"folder", "not a regular file", [](auto& p) { return std::filesystem::create_directory(p); }},
    Unshowable{"fifo", "not a regular file", [](auto& p) { return ::mkfifo(p.c_str(), 0644) == 0; }},
    Unshowable{"empty", "empty file", [](auto& p) { return !writeFile(p, "").empty(); }},
    Unshowable{"truncated", "unsupported or damaged image", [](auto& p) { return save(p, encode(noise(640, 480, 7)).chopped(5000)); }},
    Unshowable{"garbage", "unsupported or damaged image", [](auto& p) { return save(p, encode(noise(64, 64, 3), "BMP").mid(54)); }},
    Unshowable{"gifHeaderOnly", "unsupported or damaged image", [](auto& p) { return save(p, "GIF89a"); }, ".gif"},
    Unshowable{"heic16000", "picture too large to show (it would need 1.", [](auto& p) { return writeHeic(p, "00003e8000003e80"); }, ".heic"},
    Unshowable{"heic65500", "picture too large to show (it would need 2", [](auto& p) { return writeHeic(p, "0000ffdc0000ffdc"); }, ".heic"},
    Unshowable{"video", "Can’t play", [](auto& p) { return save(p, bigEndian(24, 4) + "ftypmp42not a movie"); }, ".mp4"}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

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

// Guards a kind of file telling its date, camera or size wrongly or not at all, the preview's read missed, a file
// without a date given one (its modification time), and a HEIC's thumbnail kept as its picture.
TEST_F(ImageViewTest, EveryKindTellsWhenAndWithWhatItWasTaken)
{
    const QByteArray tiny = encode(solid(32, 24, Qt::green)); // a preview: the info comes before the picture
    save(path("a.jpg"),
         jpegWithExif(solid(320, 240, Qt::red), {6, tiny, "2024:07:14 15:30:12", "+02:00", "Canon", "Canon EOS 80D"}));
    save(path("b.png"), encode(solid(64, 48, Qt::blue), "PNG"));
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
        if (name == std::string("c.heic")) { // its thumbnail came first, but what stays is the full picture
            ASSERT_TRUE(waitUntil([&] { return view.isCached(url(name)); }));
            EXPECT_TRUE(view.currentImage().size() == QSize(400, 300) && centreIs(view.currentImage(), Qt::blue));
        }
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
    save(path("board.png"), encode(board, "PNG"));
    save(path("other.png"), encode(solid(64, 48, Qt::blue), "PNG"));
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

// A 1x1 GIF looping over a red frame and a blue one, 20 ms each.
const QByteArray redBlueGif = QByteArray::fromHex(
    "47494638396101000100f10000ff00000000ff00000000000021ff0b4e45545343415045322e30030100000021f90400020000002c00000000"
    "0100010000020244010021f90400020000002c00000000010001000002024c01003b");

// Guards an animated GIF shown still or at its own size.
TEST_F(ImageViewTest, AnimatedGifAnimatesScaledToTheView)
{
    save(path("anim.gif"), redBlueGif);
    view.setImage(url("anim.gif"));
    bool red = false, blue = false;
    EXPECT_TRUE(waitUntil([&] {
        red |= centreIs(view.currentImage(), Qt::red);
        blue |= centreIs(view.currentImage(), Qt::blue);
        return red && blue;
    }));
    EXPECT_EQ(view.currentImage().height(), 300);
}

} // namespace
