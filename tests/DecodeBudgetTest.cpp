// Pictures whose header claims more pixels than the decode budget holds:
// refused by their header, in bounded memory, while large real photos still
// show. Memory is measured in a separate process (DecodeProbe.cpp).

#include <gtest/gtest.h>

#include "ImageDecoder.h"
#include "QtWait.h"
#include "TempDir.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QProcess>

#include <future>
#include <optional>

namespace imaging = shoebox::imaging;
using imaging::Problem;

namespace {

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 80)); // PNG: fast, little compression
    return bytes;
}

// A few hundred bytes whose frame header claims 65500x65500.
QByteArray jpegClaiming65500()
{
    QImage tiny(8, 8, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    QByteArray jpeg = encode(tiny, "JPEG");
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    return jpeg.replace(frame + 5, 4, QByteArray("\xFF\xDC\xFF\xDC", 4));
}

TEST(DecodeBudgetTest, HostilePicturesAreRefusedByTheirHeaderAndBigPhotosStillShow)
{
    shoebox::testing::TempDir dir;
    const std::string jpeg = dir.write("claims-65500.jpg", jpegClaiming65500().toStdString());
    QImage picture(8000, 8000, QImage::Format_RGB888); // a megabyte as PNG, 256 MB decoded
    picture.fill(Qt::gray);
    const std::string png = dir.write("8000x8000.png", encode(picture, "PNG").toStdString());
    picture = QImage(8000, 6000, QImage::Format_RGB32); // 48 MP, as phones take them
    picture.fill(QColor(40, 90, 200));
    const std::string big = dir.write("48mp.jpg", encode(picture, "JPEG").toStdString());
    picture = QImage();

    // In a process of its own, so that its peak is the decodes' alone.
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + "/shoebox_decode_probe",
                {"1920x1080", jpeg.c_str(), png.c_str(), jpeg.c_str(), png.c_str(), big.c_str()});
    ASSERT_TRUE(shoebox::testing::waitUntil([&] { return probe.state() == QProcess::NotRunning; }, 60000));
    const QStringList lines = QString::fromLatin1(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString refused = QStringLiteral("%1 -1x-1").arg(int(Problem::TooLarge));
    ASSERT_EQ(lines.size(), 6) << probe.readAllStandardError().toStdString();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i], refused) << i;
    // The photo shows, at the DCT scale that covers the screen.
    EXPECT_EQ(lines[4], QStringLiteral("%1 2000x1500").arg(int(Problem::None)));
    // One of the hostile files alone used to take 550 MB.
    ASSERT_TRUE(lines[5].startsWith("peak "));
    EXPECT_LT(lines[5].mid(5).toLong() / 1024, 200) << "MB at the peak";
    EXPECT_TRUE(imaging::problemText(Problem::TooLarge, "x.jpg").contains("too large to show"));

    // On a view larger than half the photo, decoding it whole would exceed
    // the budget: it shows at 1/2 instead of not at all.
    const imaging::DecodedPicture wide = imaging::decodePicture({big, QSize(4200, 3150), 1.0});
    EXPECT_EQ(wide.problem, Problem::None);
    EXPECT_EQ(wide.decodedSize, QSize(4000, 3000));
}

TEST(DecodeBudgetTest, ADecodeWaitsForRoomAndStopsWhenCancelled)
{
    // Between rows, not only at the end.
    shoebox::testing::TempDir dir;
    QImage picture(1600, 1200, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    const std::string jpeg = dir.write("big.jpg", encode(picture, "JPEG").toStdString());
    int asked = 0;
    EXPECT_EQ(imaging::decodePicture({jpeg, QSize(1600, 1200), 1.0}, [&] { return ++asked > 20; }).problem,
              Problem::Cancelled);
    EXPECT_EQ(asked, 21);

    const std::int64_t budget = imaging::decodeBudgetBytes;
    EXPECT_EQ(imaging::reserveDecodeBytes(budget + 1, {}), Problem::TooLarge);
    std::optional<imaging::DecodeReservation> running(std::in_place, budget * 3 / 4, imaging::CancelCheck{});
    ASSERT_EQ(running->problem(), Problem::None);

    // No room for half beside three quarters: it waits, and gives up when told.
    std::atomic<bool> cancel{false};
    auto waiting = std::async(std::launch::async,
                              [&] { return imaging::reserveDecodeBytes(budget / 2, [&] { return cancel.load(); }); });
    cancel = true;
    EXPECT_EQ(waiting.get(), Problem::Cancelled);

    // It gets its room once the running decode ends.
    auto next = std::async(std::launch::async, [&] { return imaging::DecodeReservation(budget / 2, {}).problem(); });
    running.reset();
    ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(next.get(), Problem::None);
}

} // namespace
