// The image view and its decoder, on the offscreen platform. Every file is
// made here at run time in a temporary folder.

#include <gtest/gtest.h>

#include "ImageDecoder.h"
#include "ImageViewWidget.h"
#include "QtWait.h"
#include "TempDir.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>

#include <gst/gst.h>
#include <libheif/heif_cxx.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>

#include <sys/stat.h>

using shoebox::FileURL;
using shoebox::ImageViewWidget;
namespace imaging = shoebox::imaging;

namespace {

using shoebox::testing::waitUntil;

void writeFile(const std::string& path, const QByteArray& bytes)
{
    shoebox::testing::writeFile(path, bytes.toStdString()); // raw bytes: names need not be UTF-8
}

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 90));
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
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(image.bits()), image.sizeInBytes() / 4);
    return image;
}

bool isReddish(QRgb c)
{
    return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80;
}
bool isBluish(QRgb c)
{
    return qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80;
}
QRgb centre(const QImage& image)
{
    return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2);
}

// A JPEG with an EXIF block as cameras write it: the orientation, and a
// preview (a JPEG of its own) when one is given.
QByteArray jpegWithExif(const QImage& image, char orientation, const QByteArray& preview = {})
{
    auto entry = [](const char* tagAndType, quint32 value) {
        return QByteArray(tagAndType, 4) + QByteArray("\0\0\0\1", 4) +
               QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
    };
    QByteArray tiff = QByteArray("MM\0\x2A\0\0\0\x08\0\x01", 10) + QByteArray("\x01\x12\0\x03\0\0\0\x01\0", 9) +
                      orientation + QByteArray(2, '\0');
    tiff += QByteArray::fromHex(preview.isEmpty() ? "00000000" : "0000001a"); // IFD1 right after IFD0
    if (!preview.isEmpty())
        tiff += QByteArray("\0\x02", 2) + entry("\x02\x01\0\x04", 56) + entry("\x02\x02\0\x04", preview.size()) +
                QByteArray(4, '\0') + preview;
    const QByteArray segment = "Exif" + QByteArray(2, '\0') + tiff;
    return encode(image, "JPEG")
        .insert(2, QByteArray("\xFF\xE1", 2) +
                       QByteArray::fromHex(QByteArray::number(segment.size() + 2, 16).rightJustified(4, '0')) +
                       segment);
}

// A 1x1 GIF looping over a red frame then a blue one, 20 ms each.
QByteArray redBlueGif()
{
    QByteArray gif("GIF89a\1\0\1\0\xF1\0\0"
                   "\xFF\0\0"
                   "\0\0\xFF"
                   "\0\0\0"
                   "\0\0\0"
                   "\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0",
                   44);
    for (char codes : {'\x44', '\x4C'}) // LZW, 3 bits each: clear, colour 0 or 1, end
        gif += QByteArray("\x21\xF9\x04\0\x02\0\0\0"
                          "\x2C\0\0\0\0\x01\0\x01\0\0"
                          "\x02\x02",
                          20) +
               codes + QByteArray("\x01\0", 2);
    return gif + ';';
}

class ImageViewTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir / name; }
    FileURL url(const std::string& name) const { return FileURL::fileURLWithPath(path(name)); }

    std::unique_ptr<ImageViewWidget> makeView()
    {
        auto view = std::make_unique<ImageViewWidget>();
        view->resize(400, 300);
        view->show();
        return view;
    }

    void showAndWait(ImageViewWidget& view, const std::string& name)
    {
        view.setImage(url(name));
        ASSERT_TRUE(waitUntil([&] { return !view.currentImage().isNull(); })) << name;
    }

    shoebox::testing::TempDir dir;
};

TEST_F(ImageViewTest, EveryExifOrientationShowsUprightAsQtTurnsIt)
{
    // Three coloured corners tell every turn and mirror apart.
    QImage stored = solid(1600, 1200, Qt::white);
    QPainter painter(&stored);
    painter.fillRect(0, 0, 400, 300, Qt::red);
    painter.fillRect(1200, 0, 400, 300, Qt::green);
    painter.fillRect(0, 900, 400, 300, Qt::blue);
    painter.end();
    for (char orientation = 1; orientation <= 8; ++orientation) {
        const QByteArray jpeg = jpegWithExif(stored, orientation);
        const std::string name = "caf\xE9-\xFF" + std::to_string(orientation) + ".jpg"; // not UTF-8
        writeFile(path(name), jpeg);
        const imaging::DecodedPicture d = imaging::decodePicture({path(name), QSize(400, 300), 1.0});
        ASSERT_EQ(d.problem, imaging::Problem::None) << int(orientation);
        const bool turned = orientation >= 5;
        EXPECT_EQ(d.originalSize, turned ? QSize(1200, 1600) : QSize(1600, 1200));
        // A quarter: the smallest DCT scale that covers what is shown.
        EXPECT_EQ(d.decodedSize, turned ? QSize(300, 400) : QSize(400, 300)) << int(orientation);

        QByteArray bytes = jpeg;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QImage expected = reader.read().scaled(d.image.size());
        EXPECT_EQ(d.image.size(), turned ? QSize(225, 300) : QSize(400, 300));
        for (QPointF at : {QPointF(0.1, 0.1), QPointF(0.9, 0.1), QPointF(0.1, 0.9), QPointF(0.9, 0.9)}) {
            const QPoint p(int(at.x() * d.image.width()), int(at.y() * d.image.height()));
            EXPECT_EQ(QColor(d.image.pixel(p)).name(), QColor(expected.pixel(p)).name()) << int(orientation);
        }
    }
}

TEST_F(ImageViewTest, HeldKeyShowsEachFilesOwnPreviewAtOnceThenTheSharpPicture)
{
    // Each file's picture and its embedded preview have colours of their
    // own, so a frame tells whose it is and which of the two; noise around
    // the centre makes the full decode take a while. The third file has no
    // preview: while it decodes, its neighbours' previews come in.
    constexpr int fileCount = 5, withoutPreview = 2;
    auto colour = [](int file, bool preview) { return QColor::fromHsv(file * 70 + (preview ? 35 : 0), 255, 230); };
    auto isColour = [](QRgb c, QColor want) {
        return std::abs(qRed(c) - want.red()) + std::abs(qGreen(c) - want.green()) + std::abs(qBlue(c) - want.blue()) <
               60;
    };
    for (int i = 0; i < fileCount; ++i) {
        QImage picture = noise(2400, 1800, quint32(i));
        QPainter(&picture).fillRect(900, 600, 600, 600, colour(i, false));
        writeFile(path("held" + std::to_string(i) + ".jpg"),
                  jpegWithExif(picture, 1,
                               i == withoutPreview ? QByteArray() : encode(solid(160, 120, colour(i, true)), "JPEG")));
    }
    auto file = [&](int i) { return url("held" + std::to_string(std::clamp(i, 0, fileCount - 1)) + ".jpg"); };
    auto view = makeView();
    int shownAsPreview = 0, painted = -1;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] {
        painted = int(view->currentURL().lastPathComponent()[4] - '0');
        const QRgb shown = centre(view->currentImage());
        EXPECT_TRUE(isColour(shown, colour(painted, false)) || isColour(shown, colour(painted, true))) << painted;
    });
    for (int i = 0; i < fileCount; ++i) {
        view->setImage(file(i));
        if (!view->isCached(file(i)) && view->hasPreview(file(i))) {
            // Not decoded yet, but its preview was read ahead: it shows at once.
            EXPECT_TRUE(isColour(centre(view->currentImage()), colour(i, true))) << i;
            ++shownAsPreview;
        }
        view->setNeighbours({file(i + 1), file(i - 1), file(i + 2)});
        ASSERT_TRUE(waitUntil([&] {
            return painted == i && (view->hasPreview(file(i + 1)) || i + 1 == withoutPreview);
        })) << i;
    }
    EXPECT_GT(shownAsPreview, 0);
    // The sharp picture follows for the file the key stops on, and once the
    // steps pause its neighbours are decoded ahead: the one before shows
    // sharp at once, without an event loop turn.
    EXPECT_TRUE(waitUntil([&] { return isColour(centre(view->currentImage()), colour(fileCount - 1, false)); }));
    EXPECT_TRUE(waitUntil([&] { return view->pendingDecodes() == 0; }));
    view->setImage(file(fileCount - 2));
    EXPECT_TRUE(isColour(centre(view->currentImage()), colour(fileCount - 2, false)));
}

struct Unshowable {
    const char* label;
    const char* reason;
    std::function<void(const std::string& path)> make;
    const char* ext = ".jpg";
};

void PrintTo(const Unshowable& c, std::ostream* out)
{
    *out << c.label;
}

class UnshowableTest : public ImageViewTest, public ::testing::WithParamInterface<Unshowable> {};

TEST_P(UnshowableTest, ShowsPlaceholderAndNeverThePreviousPicture)
{
    const Unshowable& c = GetParam();
    const std::string bad = std::string(c.label) + "-\xFF" + c.ext; // names need not be UTF-8
    writeFile(path("good.jpg"), encode(solid(640, 480, Qt::red), "JPEG"));
    c.make(path(bad));
    auto view = makeView();
    showAndWait(*view, "good.jpg");
    int painted = 0;
    QObject::connect(view.get(), &ImageViewWidget::framePainted, [&] { ++painted; });

    view->setImage(url(bad));
    EXPECT_TRUE(view->currentImage().isNull()); // the previous picture is gone at once
    ASSERT_TRUE(waitUntil([&] { return !view->placeholderText().isEmpty(); }));
    const QString text = view->placeholderText();
    EXPECT_TRUE(text.contains(QString::fromUtf8(bad)) && text.contains(QString::fromUtf8(c.reason)))
        << text.toStdString();
    EXPECT_EQ(view->accessibleDescription(), text);
    EXPECT_TRUE(waitUntil([&] { return painted > 0; }));
    // Nothing late replaces the placeholder.
    EXPECT_FALSE(waitUntil([&] { return !view->currentImage().isNull() || view->placeholderText() != text; }, 100));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, UnshowableTest,
    ::testing::Values(
        Unshowable{"missing", "file is missing", [](const std::string&) {}},
        Unshowable{"fifo", "not a regular file", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
        Unshowable{"empty", "empty file", [](const std::string& p) { writeFile(p, {}); }},
        Unshowable{"truncated", "unsupported or damaged image",
                   [](const std::string& p) { writeFile(p, encode(noise(640, 480, 7), "JPEG").chopped(5000)); }},
        Unshowable{"garbage", "unsupported or damaged image",
                   [](const std::string& p) {
                       writeFile(p, QByteArray(reinterpret_cast<const char*>(noise(32, 32, 3).constBits()), 4096));
                   }},
        Unshowable{
            "bomb", "too large to show",
            [](const std::string& p) { // header claims 16000x16000 (1 GB decoded)
                writeFile(
                    p, encode(solid(4, 4, Qt::red), "BMP").replace(18, 8, QByteArray("\x80\x3E\0\0\x80\x3E\0\0", 8)));
            }},
        Unshowable{"video", "Can’t play",
                   [](const std::string& p) {
                       writeFile(p, QByteArray("\0\0\0\x18"
                                               "ftypmp42"
                                               "not a movie",
                                               23));
                   },
                   ".mp4"}),
    [](const ::testing::TestParamInfo<Unshowable>& info) { return std::string(info.param.label); });

TEST_F(ImageViewTest, FileReplacedUnderTheSameNameIsNotShownStale)
{
    writeFile(path("same.jpg"), encode(solid(640, 480, Qt::red), "JPEG"));
    writeFile(path("new.tmp"), encode(solid(640, 480, Qt::blue), "JPEG"));
    auto view = makeView();
    showAndWait(*view, "same.jpg");
    ASSERT_TRUE(view->isCached(url("same.jpg")));
    ASSERT_EQ(::rename(path("new.tmp").c_str(), path("same.jpg").c_str()), 0); // new inode, same name
    EXPECT_FALSE(view->isCached(url("same.jpg")));
    view->setImage(url("same.jpg"));
    EXPECT_TRUE(view->currentImage().isNull()); // not the old picture from the cache
    ASSERT_TRUE(waitUntil([&] { return !view->currentImage().isNull(); }));
    EXPECT_TRUE(isBluish(centre(view->currentImage())));
}

// A clip of three frames of one colour (0xAARRGGBB) through GStreamer's
// H.264 encoder; false where this machine has none.
bool writeClip(const std::string& path, const std::string& argb)
{
    gst_init(nullptr, nullptr);
    GstElement* pipeline =
        gst_parse_launch(("videotestsrc num-buffers=3 pattern=solid-color foreground-color=" + argb +
                          " ! videoconvert ! openh264enc ! h264parse ! mp4mux ! filesink location=" + path)
                             .c_str(),
                         nullptr);
    if (!pipeline || gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    GstMessage* end = gst_bus_timed_pop_filtered(GST_ELEMENT_BUS(pipeline), 10 * GST_SECOND,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool made = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end)
        gst_message_unref(end);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return made;
}

TEST_F(ImageViewTest, AVideoNextInLineShowsItsOwnFirstFrameAtOnce)
{
    if (!writeClip(path("red.mp4"), "0xffff0000") || !writeClip(path("blue.mp4"), "0xff0000ff"))
        GTEST_SKIP() << "GStreamer has no H.264 encoder here";
    writeFile(path("photo.jpg"), encode(solid(640, 480, Qt::white), "JPEG"));
    auto view = makeView();
    showAndWait(*view, "photo.jpg");
    view->setNeighbours({url("red.mp4"), url("blue.mp4")});
    ASSERT_TRUE(waitUntil([&] { return view->isCached(url("red.mp4")) && view->isCached(url("blue.mp4")); }, 20000));
    for (const auto& [name, looks] : {std::pair{"blue.mp4", &isBluish}, std::pair{"red.mp4", &isReddish}}) {
        view->setImage(url(name)); // no event loop turn before looking
        EXPECT_TRUE(looks(centre(view->currentImage()))) << name;
    }
}

TEST_F(ImageViewTest, AnimatedGifAnimatesScaledToTheView)
{
    writeFile(path("anim.gif"), redBlueGif());
    auto view = makeView();
    view->setImage(url("anim.gif"));
    bool red = false, blue = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            red |= isReddish(centre(view->currentImage()));
            blue |= isBluish(centre(view->currentImage()));
            return red && blue;
        },
        3000));
    EXPECT_EQ(view->currentImage().height(), 300); // scaled to fit, not 1x1
}

TEST_F(ImageViewTest, HeicShowsItsThumbnailFirstThenTheFullPicture)
{
    if (!heif_have_encoder_for_format(heif_compression_HEVC))
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    heif::Image image;
    image.create(640, 480, heif_colorspace_RGB, heif_chroma_interleaved_RGB);
    image.add_plane(heif_channel_interleaved, 640, 480, 8);
    int stride = 0;
    uint8_t* plane = image.get_plane(heif_channel_interleaved, &stride);
    const QImage blue = solid(640, 480, QColor(20, 20, 230)).convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < 480; ++y)
        std::memcpy(plane + y * stride, blue.constScanLine(y), 640 * 3);
    heif::Context context;
    heif::Encoder encoder(heif_compression_HEVC);
    context.encode_thumbnail(image, context.encode_image(image, encoder), encoder, heif::Context::EncodingOptions(),
                             160);
    context.write_to_file(path("photo.heic"));

    std::vector<imaging::DecodedPicture> got;
    got.push_back(imaging::decodePicture({path("photo.heic"), QSize(400, 300), 1.0}, {},
                                         [&](imaging::DecodedPicture p) { got.push_back(std::move(p)); }));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].isPreview && got[0].decodedSize.width() <= 160 && isBluish(centre(got[0].image)));
    EXPECT_TRUE(!got[1].isPreview && got[1].decodedSize == QSize(640, 480) && isBluish(centre(got[1].image)));

    auto view = makeView();
    view->setImage(url("photo.heic"));
    ASSERT_TRUE(waitUntil([&] { return view->isCached(url("photo.heic")); })); // only full pictures are cached
    EXPECT_TRUE(view->currentImage().size() == QSize(400, 300) && isBluish(centre(view->currentImage())));

    // The same file claiming a larger size in its header ('ispe' boxes) is
    // refused before libheif decodes it: by the decode budget, and past
    // 16384 a side by libheif itself.
    for (const char* claim : {"00003e8000003e80", "0000ffdc0000ffdc"}) { // 16000, 65500
        QByteArray heic = QByteArray::fromStdString(shoebox::testing::readFile(path("photo.heic")));
        for (qsizetype at = heic.indexOf("ispe"); at >= 0; at = heic.indexOf("ispe", at + 1))
            heic.replace(at + 8, 8, QByteArray::fromHex(claim));
        writeFile(path("claims.heic"), heic);
        EXPECT_EQ(imaging::decodePicture({path("claims.heic"), QSize(400, 300), 1.0}).problem,
                  imaging::Problem::TooLarge)
            << claim;
    }
}

} // namespace
