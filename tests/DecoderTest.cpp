// The decoders on their own, and the memory they share: every picture and video made at run time.

#include <gtest/gtest.h>

#include "platform/FileDescriptor.h"
#include "tests/PictureMakers.h"
#include "tests/support/QtWait.h"
#include "viewer/DecodeBudget.h"
#include "viewer/ImageDecoder.h"
#include "viewer/JpegDecoder.h"
#include "viewer/MovieProbe.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <atomic>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

using namespace shoebox::testing;
namespace imaging = shoebox::imaging;
using imaging::Problem;

namespace {

// Guards an EXIF orientation turned or mirrored otherwise than Qt does, a wasteful DCT scale, or a name read as text.
TEST(DecoderTest, EveryExifOrientationShowsUprightAsQtTurnsIt)
{
    TempDir dir;
    QImage stored = solid(1600, 1200, Qt::white); // three coloured corners tell every turn and mirror apart
    QPainter(&stored).fillRect(0, 0, 400, 300, Qt::red);
    QPainter(&stored).fillRect(1200, 0, 400, 300, Qt::green);
    QPainter(&stored).fillRect(0, 900, 400, 300, Qt::blue);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        QByteArray jpeg = jpegWithExif(stored, orientation);
        const std::string path = dir / ("caf\xE9-" + std::to_string(orientation) + ".jpg");
        save(path, jpeg);
        const imaging::DecodedPicture d = imaging::decodePicture({path, QSize(400, 300), 1.0});
        const bool turned = orientation >= 5;
        EXPECT_EQ(d.originalSize, turned ? QSize(1200, 1600) : QSize(1600, 1200));
        EXPECT_EQ(d.decodedSize, turned ? QSize(300, 400) : QSize(400, 300));
        EXPECT_EQ(d.image.size(), turned ? QSize(225, 300) : QSize(400, 300));
        QBuffer buffer(&jpeg);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QImage expected = reader.read().scaled(d.image.size());
        for (QPointF at : {QPointF(0.1, 0.1), QPointF(0.9, 0.1), QPointF(0.1, 0.9), QPointF(0.9, 0.9)}) {
            const QPoint p(int(at.x() * d.image.width()), int(at.y() * d.image.height()));
            EXPECT_EQ(QColor(d.image.pixel(p)).name(), QColor(expected.pixel(p)).name());
        }
    }
}

// Guards a long thin strip asked for at a scale that leaves it no rows (the decoder divided by zero), and a held
// key's stand-in decoded finer than it needs (slower than the key) or so coarse it no longer fills the view, turned
// the wrong way, or offered for a file with no coarse decode.
TEST(DecoderTest, StandInsDecodeAtTheCoarsestScaleThatStillFillsTheView)
{
    EXPECT_FALSE(imaging::chooseJpegScaledSize({4000, 7}, false, {400, 300}).isEmpty());
    EXPECT_FALSE(imaging::chooseJpegScaledSize({7, 4000}, true, {400, 300}).isEmpty());
    EXPECT_EQ(imaging::chooseJpegGlanceSize({6000, 4000}, false, {1600, 1000}), QSize(750, 500));
    EXPECT_EQ(imaging::chooseJpegGlanceSize({6000, 4000}, true, {1600, 1000}), QSize(750, 500));
    EXPECT_EQ(imaging::chooseJpegGlanceSize({4000, 3000}, false, {1600, 1000}), QSize(1000, 750));
    TempDir dir;
    const QImage picture = noise(2400, 1800, 7);
    ASSERT_TRUE(save(dir / "a.jpg", jpegWithExif(picture, 6)) && save(dir / "a.png", encode(picture, "PNG")));
    const imaging::DecodedPicture glance = imaging::decodeGlance({dir / "a.jpg", {400, 300}});
    EXPECT_TRUE(glance.isPreview && glance.problem == Problem::None);
    EXPECT_EQ(glance.decodedSize, QSize(225, 300)) << "1/8, upright";
    EXPECT_EQ(glance.image.size(), QSize(225, 300)) << "fitted to the view";
    EXPECT_TRUE(imaging::decodeGlance({dir / "a.png", {400, 300}}).image.isNull());
}

// Guards a scale to fit that samples instead of averaging (moiré from fine detail: fabric, fences, text), in any
// format Qt reads a picture into, or a small picture stretched into blocks.
TEST(DecoderTest, OnePixelDetailScalesDownToEvenGreyAndSmallPicturesScaleUpSmoothly)
{
    TempDir dir;
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
        save(dir / name, encode(image, std::string(name).ends_with("png") ? "PNG" : "JPEG"));
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

// Guards a playable layout refused, or a damaged movie handed to a player that may never say so.
TEST(DecoderTest, TellsCompleteMoviesFromDamagedOnes)
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

// Guards a rotated phone video's poster shown as stored (sideways), so that it turns when playback starts.
TEST(DecoderTest, ARotatedVideosPosterStandsAsItPlays)
{
    // Colour bars, left to right from white to blue, as a phone held upright stores them: sideways, with the
    // track's matrix saying to turn them a quarter clockwise.
    TempDir dir;
    if (!writeClip(dir / "portrait.mov", "bars"))
        GTEST_SKIP() << "no gst-launch-1.0 with an H.264 encoder here";
    QByteArray movie = QByteArray::fromStdString(readFile(dir / "portrait.mov"));
    const qsizetype header = movie.indexOf("tkhd");
    ASSERT_GT(header, 0);
    QByteArray matrix;
    for (quint64 value : {0u, 0x10000u, 0u, 0xffff0000u, 0u, 0u, 240u << 16, 0u, 0x40000000u})
        matrix += bigEndian(value, 4);
    save(dir / "portrait.mov", movie.replace(header + (movie[header + 4] == 1 ? 56 : 44), 36, matrix));
    const imaging::DecodedPicture poster = imaging::decodePicture({dir / "portrait.mov", QSize(300, 400), 1.0, true});
    EXPECT_EQ(poster.originalSize, QSize(240, 320));
    EXPECT_EQ(poster.image.size(), QSize(300, 400));
    EXPECT_TRUE(centreIs(poster.image.copy(0, 0, 300, 30), Qt::white));  // the white bar on top
    EXPECT_TRUE(centreIs(poster.image.copy(0, 370, 300, 30), Qt::blue)); // and the blue one below
}

// Guards a picture over the budget decoding beside others or waiting forever behind a stream of small ones, the cap
// not refusing, or a decode that does not stop when its file is no longer wanted.
TEST(DecoderTest, APictureOverTheBudgetDecodesAloneAndOnlyOneOverTheCapIsRefused)
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
    auto other = std::make_unique<DecodeReservation>(small, imaging::CancelCheck{});
    std::atomic<bool> ran = false;
    std::thread waiting([&] { ran = DecodeReservation(big, {}).problem() == Problem::None; });
    EXPECT_TRUE(waitUntil([&] { return DecodeReservation(small, cancelledAfter(2)).problem() == Problem::Cancelled; }));
    EXPECT_FALSE(ran);
    other.reset();
    waiting.join();
    EXPECT_TRUE(ran);

    // A big photo shows at the DCT scale the view wants (for this view, whole: 250 MB, so alone), and stops between
    // rows once nobody wants it.
    TempDir dir;
    const std::string photo = dir / "48mp.jpg";
    save(photo, encode(solid(8000, 6000, QColor(40, 90, 200))));
    EXPECT_EQ(imaging::decodePicture({photo, QSize(4200, 3150), 1.0}).decodedSize, QSize(8000, 6000)); // alone
    int asked = 0;
    EXPECT_EQ(imaging::decodePicture({photo, QSize(1920, 1080), 1.0}, [&] { return ++asked > 20; }).problem,
              Problem::Cancelled);
}

// Guards a HEIC without its quick thumbnail first (also while a big picture decodes alone), or with the thumbnail
// taken for its picture.
TEST(DecoderTest, HeicGivesItsThumbnailFirstThenTheFullPicture)
{
    TempDir dir;
    if (!writeHeic(dir / "photo.heic"))
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    std::vector<imaging::DecodedPicture> got;
    got.push_back(imaging::decodePicture({dir / "photo.heic", QSize(400, 300), 1.0}, {},
                                         [&](imaging::DecodedPicture p) { got.push_back(std::move(p)); }));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].isPreview && got[0].decodedSize.width() <= 160 && centreIs(got[0].image, Qt::blue));
    EXPECT_TRUE(!got[1].isPreview && got[1].decodedSize == QSize(640, 480) && centreIs(got[1].image, Qt::blue));
    const imaging::DecodeReservation alone(imaging::decodeBudgetBytes + 1, {});
    bool previewed = false;
    int asked = 0;
    const imaging::DecodedPicture full = imaging::decodePicture(
        {dir / "photo.heic", QSize(400, 300), 1.0}, [&] { return ++asked > (previewed ? 3 : 300); },
        [&](const imaging::DecodedPicture&) { previewed = true; });
    EXPECT_TRUE(previewed);
    EXPECT_EQ(full.problem, Problem::Cancelled); // the picture itself waits for the big one
}

} // namespace
