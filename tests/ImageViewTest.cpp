// The image view and its decoder, on the offscreen platform. Every picture
// is made here at run time in a temporary folder.

#include <gtest/gtest.h>

#include "qt/DecodeCache.h"
#include "qt/ImageDecoder.h"
#include "qt/ImageViewWidget.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <libheif/heif.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using shoebox::FileURL;
using shoebox::ImageViewWidget;
namespace imaging = shoebox::imaging;

namespace {

// Spins the event loop until `done` or the deadline.
template <class F>
bool waitUntil(F done, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Writes bytes to a raw path (names need not be UTF-8).
void writeFile(const std::string& path, const QByteArray& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

QByteArray encode(const QImage& image, const char* format, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality));
    return bytes;
}

QImage solid(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QImage noise(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xFF000000u | (rng.generate() & 0x00FFFFFFu);
    }
    return image;
}

// A JPEG with an Exif APP1 segment holding only the Orientation tag,
// inserted right after SOI.
QByteArray jpegWithOrientation(const QImage& image, int orientation)
{
    QByteArray jpeg = encode(image, "JPEG");
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);                 // one IFD entry
    tiff += QByteArray("\x01\x12\x00\x03", 4);         // Orientation, SHORT
    tiff += QByteArray("\x00\x00\x00\x01", 4);         // count 1
    tiff += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');                       // no next IFD
    const QByteArray payload = QByteArray("Exif\x00\x00", 6) + tiff;
    const int length = int(payload.size()) + 2;
    QByteArray app1("\xFF\xE1", 2);
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    app1 += payload;
    jpeg.insert(2, app1);
    return jpeg;
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const char* type, const QByteArray& body)
{
    QByteArray out;
    const quint32 n = quint32(body.size());
    out += char(n >> 24); out += char(n >> 16); out += char(n >> 8); out += char(n);
    const QByteArray typed = QByteArray(type, 4) + body;
    out += typed;
    const quint32 crc = crc32(typed);
    out += char(crc >> 24); out += char(crc >> 16); out += char(crc >> 8); out += char(crc);
    return out;
}

// A valid PNG header that claims 60000 x 60000 pixels (14 GB decoded).
QByteArray pngBomb()
{
    QByteArray ihdr;
    for (quint32 v : {60000u, 60000u}) {
        ihdr += char(v >> 24); ihdr += char(v >> 16); ihdr += char(v >> 8); ihdr += char(v);
    }
    ihdr += QByteArray("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr)
        + pngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8))
        + pngChunk("IEND", {});
}

// A two-colour animated GIF, one solid frame per colour, 20 ms apart.
// LZW with a clear code before every second pixel keeps codes 3 bits wide.
QByteArray animatedGif(int w, int h, const std::vector<int>& frameColours)
{
    QByteArray g("GIF89a", 6);
    auto u16 = [&](int v) { g += char(v & 0xFF); g += char(v >> 8); };
    u16(w); u16(h);
    g += char(0xF1); g += char(0); g += char(0); // global table of 4 colours
    g += QByteArray("\xFF\x00\x00" "\x00\x00\xFF" "\x00\xFF\x00" "\xFF\xFF\xFF", 12);
    g += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop forever
    for (int colour : frameColours) {
        g += QByteArray("\x21\xF9\x04\x00", 4); u16(2); g += QByteArray("\x00\x00", 2);
        g += char(0x2C); u16(0); u16(0); u16(w); u16(h); g += char(0);
        g += char(2); // minimum code size
        QByteArray bits;
        quint32 acc = 0; int nbits = 0;
        auto put = [&](int code) {
            acc |= quint32(code) << nbits; nbits += 3;
            while (nbits >= 8) { bits += char(acc & 0xFF); acc >>= 8; nbits -= 8; }
        };
        for (int i = 0; i < w * h; ++i) {
            if (i % 2 == 0) put(4); // clear
            put(colour);
        }
        put(5); // end of information
        if (nbits > 0) bits += char(acc & 0xFF);
        for (qsizetype i = 0; i < bits.size(); i += 255) {
            const QByteArray block = bits.mid(i, 255);
            g += char(block.size()); g += block;
        }
        g += char(0);
    }
    g += char(0x3B);
    return g;
}

// A QuickTime movie of Motion-JPEG frames, written box by box: enough for
// a demuxer and a JPEG decoder, and needs no encoder tool.
QByteArray mjpegMovie(const std::vector<QByteArray>& frames, int w, int h)
{
    auto be32 = [](quint32 v) { QByteArray b; b += char(v >> 24); b += char(v >> 16); b += char(v >> 8); b += char(v); return b; };
    auto be16 = [](quint32 v) { QByteArray b; b += char(v >> 8); b += char(v); return b; };
    auto box = [&](const char* type, const QByteArray& body) { return be32(quint32(body.size() + 8)) + QByteArray(type, 4) + body; };
    const QByteArray matrix = be32(0x10000) + be32(0) + be32(0) + be32(0) + be32(0x10000) + be32(0) + be32(0) + be32(0) + be32(0x40000000);
    const quint32 timescale = 600, delta = 60, duration = quint32(frames.size()) * delta;

    const QByteArray ftyp = box("ftyp", QByteArray("qt  ") + be32(0x200) + QByteArray("qt  "));
    QByteArray payload;
    for (const QByteArray& f : frames)
        payload += f;
    const QByteArray mdat = box("mdat", payload);
    const quint32 firstSample = quint32(ftyp.size()) + 8;

    const QByteArray mvhd = box("mvhd", be32(0) + be32(0) + be32(0) + be32(timescale) + be32(duration) + be32(0x10000)
                                + be16(0x100) + QByteArray(10, '\0') + matrix + QByteArray(24, '\0') + be32(2));
    const QByteArray tkhd = box("tkhd", be32(3) + be32(0) + be32(0) + be32(1) + be32(0) + be32(duration) + QByteArray(8, '\0')
                                + be16(0) + be16(0) + be16(0) + be16(0) + matrix + be32(quint32(w) << 16) + be32(quint32(h) << 16));
    const QByteArray mdhd = box("mdhd", be32(0) + be32(0) + be32(0) + be32(timescale) + be32(duration) + be16(0) + be16(0));
    const QByteArray hdlr = box("hdlr", be32(0) + QByteArray("mhlr") + QByteArray("vide") + QByteArray(12, '\0') + QByteArray(1, '\0'));
    const QByteArray vmhd = box("vmhd", be32(1) + be16(0) + be16(0) + be16(0) + be16(0));
    const QByteArray dinf = box("dinf", box("dref", be32(0) + be32(1) + box("url ", be32(1))));
    const QByteArray entry = box("jpeg", QByteArray(6, '\0') + be16(1) + be16(0) + be16(0) + be32(0) + be32(0) + be32(512)
                                 + be16(quint32(w)) + be16(quint32(h)) + be32(72u << 16) + be32(72u << 16) + be32(0) + be16(1)
                                 + QByteArray(32, '\0') + be16(24) + be16(0xFFFF));
    QByteArray sizes;
    for (const QByteArray& f : frames)
        sizes += be32(quint32(f.size()));
    const QByteArray stbl = box("stbl", box("stsd", be32(0) + be32(1) + entry)
                                + box("stts", be32(0) + be32(1) + be32(quint32(frames.size())) + be32(delta))
                                + box("stsc", be32(0) + be32(1) + be32(1) + be32(quint32(frames.size())) + be32(1))
                                + box("stsz", be32(0) + be32(0) + be32(quint32(frames.size())) + sizes)
                                + box("stco", be32(0) + be32(1) + be32(firstSample)));
    const QByteArray minf = box("minf", vmhd + dinf + stbl);
    const QByteArray moov = box("moov", mvhd + box("trak", tkhd + box("mdia", mdhd + hdlr + minf)));
    return ftyp + mdat + moov;
}

bool isReddish(QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80; }
bool isBluish(QRgb c) { return qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80; }
QRgb centre(const QImage& image) { return image.pixel(image.width() / 2, image.height() / 2); }

class ImageViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        dir.setAutoRemove(false); // QTemporaryDir cannot remove names that are not UTF-8
        root = QFile::encodeName(dir.path()).toStdString();
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored); // works on raw bytes
    }

    std::string path(const std::string& name) const { return root + "/" + name; }
    FileURL url(const std::string& name) const { return FileURL::fileURLWithPath(path(name)); }

    std::unique_ptr<ImageViewWidget> makeView(int w = 400, int h = 300)
    {
        auto view = std::make_unique<ImageViewWidget>();
        view->resize(w, h);
        view->show();
        return view;
    }

    // Shows `name` and waits for its picture.
    void showAndWait(ImageViewWidget& view, const std::string& name)
    {
        view.setImage(url(name));
        ASSERT_TRUE(waitUntil([&] { return !view.currentImage().isNull(); })) << name;
    }

    QTemporaryDir dir;
    std::string root;
};

// ---- decoding at the shown size, upright ----

TEST(JpegScale, PicksLargestDctFractionThatStillCoversTheView)
{
    // 6000x4000 fits 1600x1000 as 1500x1000: a quarter is exactly that.
    EXPECT_EQ(imaging::chooseJpegScaledSize({6000, 4000}, false, {1600, 1000}), QSize(1500, 1000));
    // One pixel more wanted than a quarter gives: take a half.
    EXPECT_EQ(imaging::chooseJpegScaledSize({6000, 4000}, false, {1600, 1001}), QSize(3000, 2000));
    // Tiny view: an eighth.
    EXPECT_EQ(imaging::chooseJpegScaledSize({6000, 4000}, false, {200, 200}), QSize(750, 500));
    // Rotated 90: the box is swapped before choosing. Stored 4000x3000
    // shows as 3000x4000; in 1000x1000 that is 750x1000, so the stored
    // picture must keep 1000 across and an eighth (500) is too small.
    EXPECT_EQ(imaging::chooseJpegScaledSize({4000, 3000}, true, {1000, 1000}), QSize(1000, 750));
    EXPECT_EQ(imaging::chooseJpegScaledSize({4000, 3000}, false, {1000, 1000}), QSize(1000, 750));
    EXPECT_EQ(imaging::chooseJpegScaledSize({4000, 3000}, true, {1000, 2000}), QSize(2000, 1500));
    // Smaller than the view: full size.
    EXPECT_EQ(imaging::chooseJpegScaledSize({800, 600}, false, {1600, 1000}), QSize(800, 600));
}

TEST_F(ImageViewTest, ExifOrientationSixShowsLandscapeStoredJpegUpright)
{
    // Stored landscape, red block top-left; orientation 6 means "rotate 90
    // degrees clockwise to show", which puts the block top-right.
    QImage stored = solid(1600, 1200, Qt::white);
    QPainter(&stored).fillRect(0, 0, 400, 300, Qt::red);
    writeFile(path("portrait.jpg"), jpegWithOrientation(stored, 6));

    const imaging::DecodedPicture d =
        imaging::decodePicture({path("portrait.jpg"), QSize(400, 300), 1.0});
    ASSERT_EQ(d.problem, imaging::Problem::None);
    EXPECT_EQ(d.originalSize, QSize(1200, 1600));
    // Decoded by libjpeg at exactly a quarter, which still covers the
    // 225x300 it is shown at; then fitted.
    EXPECT_EQ(d.decodedSize, QSize(300, 400));
    EXPECT_GE(d.decodedSize.width(), d.image.width());
    EXPECT_GE(d.decodedSize.height(), d.image.height());
    EXPECT_EQ(d.image.size(), QSize(225, 300));
    EXPECT_TRUE(isReddish(d.image.pixel(d.image.width() - 10, 10)));
    EXPECT_FALSE(isReddish(d.image.pixel(10, 10)));

    auto view = makeView(400, 300);
    showAndWait(*view, "portrait.jpg");
    const QImage shown = view->currentImage();
    EXPECT_LT(shown.width(), shown.height());
    EXPECT_EQ(shown.height(), 300);
    EXPECT_TRUE(view->placeholderText().isEmpty());
}

TEST_F(ImageViewTest, PngAndSmallPicturesAreFittedToTheViewKeepingAspect)
{
    writeFile(path("wide.png"), encode(solid(1000, 250, Qt::blue), "PNG"));
    writeFile(path("small.png"), encode(solid(40, 30, Qt::blue), "PNG"));
    auto view = makeView(400, 300);
    showAndWait(*view, "wide.png");
    EXPECT_EQ(view->currentImage().size(), QSize(400, 100));
    showAndWait(*view, "small.png");
    EXPECT_EQ(view->currentImage().size(), QSize(400, 300));
    EXPECT_TRUE(isBluish(centre(view->currentImage())));
}

TEST(JpegCompleteness, TruncatedDataIsNotComplete)
{
    const QByteArray jpeg = encode(noise(320, 240, 1), "JPEG");
    EXPECT_TRUE(imaging::jpegLooksComplete(jpeg));
    EXPECT_TRUE(imaging::jpegLooksComplete(jpeg + QByteArray("trailing bytes")));
    EXPECT_FALSE(imaging::jpegLooksComplete(jpeg.left(jpeg.size() * 2 / 3)));
    EXPECT_FALSE(imaging::jpegLooksComplete(jpeg.left(jpeg.size() - 2)));
    EXPECT_FALSE(imaging::jpegLooksComplete(QByteArray("\xFF\xD8\xFF", 3)));
}

// ---- things that cannot be shown ----

struct Unshowable {
    const char* label;
    const char* reason;
    std::function<void(const std::string& path)> make;
};

class UnshowableTest : public ImageViewTest, public ::testing::WithParamInterface<Unshowable> {};

TEST_P(UnshowableTest, ShowsPlaceholderAndNeverThePreviousPicture)
{
    const Unshowable& c = GetParam();
    writeFile(path("good.jpg"), encode(solid(640, 480, Qt::red), "JPEG"));
    const std::string bad = std::string("bad-") + c.label + ".jpg";
    c.make(path(bad));

    auto view = makeView();
    showAndWait(*view, "good.jpg");
    int painted = 0;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] { ++painted; });

    view->setImage(url(bad));
    EXPECT_TRUE(view->currentImage().isNull()); // the previous picture is gone at once
    ASSERT_TRUE(waitUntil([&] { return !view->placeholderText().isEmpty(); })) << c.label;
    EXPECT_TRUE(view->placeholderText().contains(QString::fromUtf8(bad))) << view->placeholderText().toStdString();
    EXPECT_TRUE(view->placeholderText().contains(QLatin1String(c.reason))) << view->placeholderText().toStdString();
    EXPECT_EQ(view->accessibleDescription(), view->placeholderText());
    EXPECT_TRUE(waitUntil([&] { return painted > 0; }));
    spin(100); // nothing late replaces the placeholder
    EXPECT_TRUE(view->currentImage().isNull());
    EXPECT_FALSE(view->placeholderText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, UnshowableTest,
    ::testing::Values(
        Unshowable{"missing", "file is missing", [](const std::string&) {}},
        Unshowable{"folder", "not a regular file", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); }},
        Unshowable{"fifo", "not a regular file", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
        Unshowable{"empty", "empty file", [](const std::string& p) { writeFile(p, {}); }},
        Unshowable{"truncated", "unsupported or damaged image", [](const std::string& p) {
            const QByteArray jpeg = encode(noise(640, 480, 7), "JPEG");
            writeFile(p, jpeg.left(jpeg.size() / 2));
        }},
        Unshowable{"garbage", "unsupported or damaged image", [](const std::string& p) {
            QByteArray junk(4096, '\0');
            QRandomGenerator rng(3);
            for (char& ch : junk)
                ch = char(rng.generate());
            writeFile(p, junk);
        }},
        Unshowable{"bomb", "image too large", [](const std::string& p) { writeFile(p, pngBomb()); }}),
    [](const ::testing::TestParamInfo<Unshowable>& info) { return std::string(info.param.label); });

TEST_F(ImageViewTest, DecoderRefusesFifoWithoutBlocking)
{
    // setImage's stat catches a FIFO first; this is the decoder's own
    // guard for one that appears between that stat and the open.
    const std::string fifo = path("pipe.jpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto done = std::make_shared<std::atomic<int>>(-1);
    std::thread([fifo, done] {
        *done = int(imaging::decodePicture({fifo, QSize(100, 100), 1.0}).problem);
    }).detach(); // if it blocks, the test fails rather than hangs
    ASSERT_TRUE(waitUntil([&] { return *done >= 0; }, 5000));
    EXPECT_EQ(imaging::Problem(done->load()), imaging::Problem::NotRegular);
}

TEST_F(ImageViewTest, CorruptVideoShowsPlaceholder)
{
    writeFile(path("clip.mp4"), QByteArray("\x00\x00\x00\x18" "ftypmp42" "this is not a movie", 31));
    writeFile(path("good.jpg"), encode(solid(64, 48, Qt::red), "JPEG"));
    auto view = makeView();
    showAndWait(*view, "good.jpg");
    view->setImage(url("clip.mp4"));
    EXPECT_TRUE(view->currentImage().isNull());
    ASSERT_TRUE(waitUntil([&] { return !view->placeholderText().isEmpty(); }, 10000));
    EXPECT_TRUE(view->placeholderText().contains(QLatin1String("clip.mp4")));
    EXPECT_TRUE(view->currentImage().isNull());
}

TEST_F(ImageViewTest, VideoPlaysIntoTheView)
{
    std::vector<QByteArray> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back(encode(solid(320, 240, Qt::red), "JPEG"));
    writeFile(path("clip-\xFF.mov"), mjpegMovie(frames, 320, 240)); // not UTF-8 either
    auto view = makeView(400, 400);
    int painted = 0;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] { ++painted; });
    view->setImage(url("clip-\xFF.mov"));
    ASSERT_TRUE(waitUntil([&] { return !view->currentImage().isNull() || !view->placeholderText().isEmpty(); }, 10000));
    ASSERT_TRUE(view->placeholderText().isEmpty()) << view->placeholderText().toStdString();
    const QImage frame = view->currentImage();
    EXPECT_TRUE(isReddish(centre(frame)));
    EXPECT_EQ(frame.width() * 3, frame.height() * 4); // 4:3 as stored
    EXPECT_TRUE(waitUntil([&] { return painted > 0; }));
    spin(1500); // one second of video: it loops rather than ending on a placeholder
    EXPECT_TRUE(view->placeholderText().isEmpty());
    EXPECT_FALSE(view->currentImage().isNull());
}

// ---- ordering, prefetch, cache ----

TEST_F(ImageViewTest, StaleResultIsDroppedNeverPainted)
{
    writeFile(path("a-big.png"), encode(solid(3000, 2000, Qt::red), "PNG"));
    writeFile(path("b.png"), encode(noise(1500, 1000, 5).copy(0, 0, 1500, 1000), "PNG"));
    writeFile(path("c.jpg"), encode(solid(640, 480, Qt::blue), "JPEG"));
    auto view = makeView();
    bool sawRed = false;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] {
        const QImage img = view->currentImage();
        sawRed |= !img.isNull() && isReddish(centre(img));
    });
    auto watchForRed = [&](int ms) {
        return waitUntil([&] {
            const QImage img = view->currentImage();
            sawRed |= !img.isNull() && isReddish(centre(img));
            return sawRed;
        }, ms);
    };

    // A's decode is still queued or running when B is asked for.
    view->setImage(url("a-big.png"));
    view->setImage(url("c.jpg"));
    ASSERT_TRUE(waitUntil([&] { return !view->currentImage().isNull(); }));
    EXPECT_FALSE(watchForRed(1000));
    EXPECT_EQ(view->currentURL(), url("c.jpg"));
    EXPECT_TRUE(isBluish(centre(view->currentImage())));

    // A's result is already posted (the UI thread was busy) when B is
    // asked for, and B takes a while: A must not show in between.
    view->setImage(url("a-big.png"));
    QThread::msleep(1000);
    view->setImage(url("b.png"));
    EXPECT_FALSE(watchForRed(1500));
    EXPECT_EQ(view->currentURL(), url("b.png"));
    EXPECT_FALSE(view->currentImage().isNull());
    EXPECT_FALSE(view->isCached(url("a-big.png"))); // dropped, not even cached
}

TEST_F(ImageViewTest, PrefetchedNeighbourShowsSynchronously)
{
    for (int i = 0; i < 5; ++i)
        writeFile(path("p" + std::to_string(i) + ".jpg"), encode(solid(1200, 900, i % 2 ? Qt::blue : Qt::red), "JPEG"));
    auto view = makeView();
    showAndWait(*view, "p0.jpg");
    view->setNeighbours({url("p1.jpg"), url("p2.jpg"), url("p3.jpg")});
    ASSERT_TRUE(waitUntil([&] {
        return view->isCached(url("p1.jpg")) && view->isCached(url("p2.jpg")) && view->isCached(url("p3.jpg"));
    }));
    EXPECT_FALSE(view->isCached(url("p4.jpg")));

    view->setImage(url("p1.jpg")); // no event loop turn before looking
    const QImage shown = view->currentImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(400, 300));
    EXPECT_TRUE(isBluish(centre(shown)));
    EXPECT_TRUE(view->placeholderText().isEmpty());

    int painted = 0;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] { ++painted; });
    EXPECT_TRUE(waitUntil([&] { return painted > 0; }, 1000));
}

TEST_F(ImageViewTest, CacheStaysWithinItsByteBound)
{
    const int n = 12;
    for (int i = 0; i < n; ++i)
        writeFile(path("c" + std::to_string(i) + ".jpg"), encode(solid(800, 600, Qt::red), "JPEG"));
    auto view = makeView(400, 300);
    const qint64 limit = 2 * 1024 * 1024; // about four 400x300 pictures
    view->setCacheLimit(limit);
    for (int i = 0; i + 2 < n; ++i) {
        showAndWait(*view, "c" + std::to_string(i) + ".jpg");
        view->setNeighbours({url("c" + std::to_string(i + 1) + ".jpg"), url("c" + std::to_string(i + 2) + ".jpg")});
        ASSERT_TRUE(waitUntil([&] {
            return view->isCached(url("c" + std::to_string(i + 1) + ".jpg"))
                && view->isCached(url("c" + std::to_string(i + 2) + ".jpg"));
        }));
        EXPECT_LE(view->cacheBytes(), limit) << "step " << i;
    }
    EXPECT_GT(view->cacheBytes(), 0);
    EXPECT_FALSE(view->isCached(url("c0.jpg"))); // oldest went first
}

TEST(DecodeCacheTest, EvictsLeastRecentlyUsedButKeepsWantedOnesLongest)
{
    auto entry = [](int seconds) {
        auto d = std::make_shared<imaging::DecodedPicture>();
        d->image = QImage(100, 100, QImage::Format_RGB32); // 40000 bytes
        d->stamp.mtimeNs = seconds;
        return std::shared_ptr<const imaging::DecodedPicture>(d);
    };
    const qint64 one = entry(0)->cost();
    imaging::DecodeCache cache(3 * one);
    cache.insert("a", entry(1));
    cache.insert("b", entry(1));
    cache.insert("c", entry(1));
    cache.setPreferred({"a"});
    cache.insert("d", entry(1)); // evicts b: oldest not wanted
    EXPECT_TRUE(cache.peek("a", entry(1)->stamp));
    EXPECT_FALSE(cache.peek("b", entry(1)->stamp));
    EXPECT_LE(cache.bytes(), 3 * one);
    // A different stamp (file replaced) is a miss and drops the entry.
    EXPECT_FALSE(cache.find("c", entry(2)->stamp));
    EXPECT_FALSE(cache.peek("c", entry(1)->stamp));
    EXPECT_EQ(cache.count(), 2u);
    // Larger than the whole bound: not kept.
    auto huge = std::make_shared<imaging::DecodedPicture>();
    huge->image = QImage(1000, 1000, QImage::Format_RGB32);
    cache.insert("e", huge);
    EXPECT_EQ(cache.count(), 2u);
}

TEST_F(ImageViewTest, ReplacedFileIsNotShownStale)
{
    writeFile(path("same.jpg"), encode(solid(640, 480, Qt::red), "JPEG"));
    writeFile(path("other.jpg"), encode(solid(640, 480, Qt::red), "JPEG"));
    auto view = makeView();
    showAndWait(*view, "same.jpg");
    EXPECT_TRUE(isReddish(centre(view->currentImage())));
    view->setImage(url("other.jpg"));
    view->setNeighbours({url("same.jpg")});
    EXPECT_TRUE(view->isCached(url("same.jpg")));

    // Replaced by a rename over it: new inode, same name.
    writeFile(path("new.tmp"), encode(solid(640, 480, Qt::blue), "JPEG"));
    ASSERT_EQ(::rename(path("new.tmp").c_str(), path("same.jpg").c_str()), 0);
    EXPECT_FALSE(view->isCached(url("same.jpg")));
    view->setImage(url("same.jpg"));
    if (!view->currentImage().isNull()) {
        EXPECT_FALSE(isReddish(centre(view->currentImage())));
    }
    ASSERT_TRUE(waitUntil([&] { return !view->currentImage().isNull(); }));
    EXPECT_TRUE(isBluish(centre(view->currentImage())));
}

// ---- names, formats, lifetime ----

TEST_F(ImageViewTest, NameThatIsNotUtf8IsDecoded)
{
    const std::string name = "caf\xE9-\xFF\xFE.jpg"; // Latin-1 é and stray bytes
    writeFile(path(name), encode(solid(320, 240, Qt::blue), "JPEG"));
    auto view = makeView();
    showAndWait(*view, name);
    EXPECT_TRUE(isBluish(centre(view->currentImage())));
    EXPECT_TRUE(view->placeholderText().isEmpty());
    EXPECT_EQ(view->currentURL().path(), path(name));

    view->setImage(url("gone-\xFF.jpg"));
    EXPECT_TRUE(view->placeholderText().contains(QChar(0xFFFD)));
    EXPECT_TRUE(view->placeholderText().contains(QLatin1String("file is missing")));
}

TEST_F(ImageViewTest, AnimatedGifAnimates)
{
    writeFile(path("anim.gif"), animatedGif(16, 16, {0, 1})); // red, then blue
    auto view = makeView();
    showAndWait(*view, "anim.gif");
    bool sawRed = false;
    bool sawBlue = false;
    EXPECT_TRUE(waitUntil([&] {
        const QImage frame = view->currentImage();
        if (!frame.isNull()) {
            sawRed |= isReddish(centre(frame));
            sawBlue |= isBluish(centre(frame));
        }
        return sawRed && sawBlue;
    }, 3000));
    EXPECT_GT(view->currentImage().height(), 100); // scaled to fit, not 16x16
}

TEST_F(ImageViewTest, HeicShowsThumbnailThenFullPicture)
{
    if (!heif_have_encoder_for_format(heif_compression_HEVC))
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 80);
    heif_image* image = nullptr;
    const int w = 640, h = 480;
    ASSERT_EQ(heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code, heif_error_Ok);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = plane + y * stride + x * 3;
            px[0] = 20; px[1] = 20; px[2] = 230; // blue
        }
    heif_image_handle* handle = nullptr;
    ASSERT_EQ(heif_context_encode_image(ctx, image, encoder, nullptr, &handle).code, heif_error_Ok);
    heif_image_handle* thumb = nullptr;
    ASSERT_EQ(heif_context_encode_thumbnail(ctx, image, handle, encoder, nullptr, 160, &thumb).code, heif_error_Ok);
    const std::string file = path("photo.heic");
    ASSERT_EQ(heif_context_write_to_file(ctx, file.c_str()).code, heif_error_Ok);
    heif_image_handle_release(thumb);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);

    std::vector<QSize> previews;
    const imaging::DecodedPicture d = imaging::decodePicture(
        {file, QSize(400, 300), 1.0}, {}, [&](imaging::DecodedPicture p) {
            EXPECT_TRUE(p.isPreview);
            previews.push_back(p.decodedSize);
        });
    ASSERT_EQ(d.problem, imaging::Problem::None);
    ASSERT_EQ(previews.size(), 1u);
    EXPECT_LE(previews[0].width(), 160);
    EXPECT_EQ(d.originalSize, QSize(w, h));
    EXPECT_EQ(d.image.size(), QSize(400, 300));
    EXPECT_TRUE(isBluish(centre(d.image)));

    auto view = makeView();
    showAndWait(*view, "photo.heic");
    ASSERT_TRUE(waitUntil([&] { return view->currentImage().size() == QSize(400, 300); }));
    EXPECT_TRUE(isBluish(centre(view->currentImage())));
}

TEST_F(ImageViewTest, DestroyingViewWithWorkInFlightCancelsQueuedDecodes)
{
    // Forty names for one slow picture (hard links: each is its own entry).
    writeFile(path("big0.png"), encode(noise(3000, 2000, 9), "PNG"));
    const int n = 40;
    for (int i = 1; i < n; ++i)
        ASSERT_EQ(::link(path("big0.png").c_str(), path("big" + std::to_string(i) + ".png").c_str()), 0);
    QElapsedTimer one;
    one.start();
    ASSERT_EQ(imaging::decodePicture({path("big0.png"), QSize(400, 300), 1.0}).problem, imaging::Problem::None);
    const qint64 oneDecodeMs = one.elapsed();

    auto view = makeView();
    QPointer<ImageViewWidget> watch(view.get());
    view->setImage(url("big0.png"));
    std::vector<FileURL> next;
    for (int i = 1; i < n; ++i)
        next.push_back(url("big" + std::to_string(i) + ".png"));
    view->setNeighbours(next);
    EXPECT_GE(view->pendingDecodes(), n - 2);
    QThread::msleep(20); // let the pool start
    QElapsedTimer t;
    t.start();
    view.reset();
    const qint64 destroyMs = t.elapsed();
    EXPECT_TRUE(watch.isNull());
    // At most the two running decodes are waited for; the queued ones
    // (twenty rounds of work) are not.
    EXPECT_LT(destroyMs, oneDecodeMs * 2 + 150) << "one decode takes " << oneDecodeMs << " ms";
    spin(200); // results posted to the dead view are gone, not delivered
}

} // namespace
