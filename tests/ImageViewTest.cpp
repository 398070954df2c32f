// The image view and its decoder, on the offscreen platform. Every file is
// made here at run time in a temporary folder.

#include <gtest/gtest.h>

#include "ImageDecoder.h"
#include "ImageViewWidget.h"
#include "QtWait.h"
#include "TempDir.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>

#include <libheif/heif.h>

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

// A JPEG whose Exif segment holds only the Orientation tag.
QByteArray jpegWithOrientation(const QImage& image, char orientation)
{
    QByteArray jpeg = encode(image, "JPEG");
    jpeg.insert(2, QByteArray("\xFF\xE1\0\x22"
                              "Exif\0\0"
                              "MM\0\x2A\0\0\0\x08"
                              "\0\x01"
                              "\x01\x12\0\x03\0\0\0\x01\0",
                              29) +
                       orientation + QByteArray(6, '\0'));
    return jpeg;
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

TEST_F(ImageViewTest, ExifOrientationSixShowsUprightDecodedAtAnExactDctFraction)
{
    // Stored landscape with a red block top-left; orientation 6 turns it a
    // quarter clockwise, which puts the block top-right.
    QImage stored = solid(1600, 1200, Qt::white);
    QPainter(&stored).fillRect(0, 0, 400, 300, Qt::red);
    const std::string name = "caf\xE9-\xFF.jpg"; // not UTF-8
    writeFile(path(name), jpegWithOrientation(stored, 6));

    const imaging::DecodedPicture d = imaging::decodePicture({path(name), QSize(400, 300), 1.0});
    ASSERT_EQ(d.problem, imaging::Problem::None);
    EXPECT_EQ(d.originalSize, QSize(1200, 1600));
    EXPECT_EQ(d.decodedSize, QSize(300, 400)); // a quarter: the smallest that covers the 225x300 shown

    auto view = makeView();
    showAndWait(*view, name);
    const QImage shown = view->currentImage();
    EXPECT_EQ(shown.size(), QSize(225, 300));
    EXPECT_TRUE(isReddish(shown.pixel(shown.width() - 10, 10)) && !isReddish(shown.pixel(10, 10)));
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
        Unshowable{"folder", "not a regular file",
                   [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); }},
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

TEST_F(ImageViewTest, StaleResultIsDroppedNeverPainted)
{
    // A is still decoding when B is asked for. (DecodeQueueTest drops
    // results that are already on their way.)
    writeFile(path("a.png"), encode(solid(3000, 2000, Qt::red), "PNG"));
    writeFile(path("b.png"), encode(noise(1500, 1000, 5), "PNG"));
    auto view = makeView();
    bool sawRed = false;
    QObject::connect(view.get(), &ImageViewWidget::framePainted,
                     [&] { sawRed |= isReddish(centre(view->currentImage())); });
    view->setImage(url("a.png"));
    view->setImage(url("b.png"));
    ASSERT_TRUE(waitUntil([&] { return view->pendingDecodes() == 0 && !view->currentImage().isNull(); }));
    EXPECT_FALSE(sawRed || isReddish(centre(view->currentImage())));
    EXPECT_FALSE(view->isCached(url("a.png"))); // dropped, not even cached
}

TEST_F(ImageViewTest, PrefetchedNeighbourShowsAtOnceWithinTheCacheBound)
{
    auto name = [](int i) { return "p" + std::to_string(i) + ".jpg"; };
    for (int i = 0; i < 10; ++i)
        writeFile(path(name(i)), encode(solid(800, 600, i % 2 ? Qt::blue : Qt::red), "JPEG"));
    auto view = makeView();
    const qint64 limit = 2 << 20; // about four 400x300 pictures
    view->setCacheLimit(limit);
    showAndWait(*view, name(0));
    for (int i = 1; i < 9; ++i) {
        view->setNeighbours({url(name(i)), url(name(i + 1))});
        ASSERT_TRUE(waitUntil([&] { return view->isCached(url(name(i))) && view->isCached(url(name(i + 1))); })) << i;
        view->setImage(url(name(i))); // no event loop turn before looking
        const QImage shown = view->currentImage();
        EXPECT_EQ(shown.size(), QSize(400, 300)) << i;
        EXPECT_EQ(isBluish(centre(shown)), i % 2 == 1) << i;
        EXPECT_LE(view->cacheBytes(), limit) << i;
    }
    EXPECT_FALSE(view->isCached(url(name(0)))); // the oldest went first
}

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
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_image_handle *handle = nullptr, *thumb = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    ASSERT_EQ(heif_image_create(640, 480, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code,
              heif_error_Ok);
    heif_image_add_plane(image, heif_channel_interleaved, 640, 480, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const QImage blue = solid(640, 480, QColor(20, 20, 230)).convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < 480; ++y)
        std::memcpy(plane + y * stride, blue.constScanLine(y), 640 * 3);
    ASSERT_EQ(heif_context_encode_image(ctx, image, encoder, nullptr, &handle).code, heif_error_Ok);
    ASSERT_EQ(heif_context_encode_thumbnail(ctx, image, handle, encoder, nullptr, 160, &thumb).code, heif_error_Ok);
    ASSERT_EQ(heif_context_write_to_file(ctx, path("photo.heic").c_str()).code, heif_error_Ok);
    heif_image_handle_release(thumb);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);

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
