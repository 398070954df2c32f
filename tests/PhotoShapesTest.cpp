// The shapes of picture phones and cameras make, from the largest to the damaged, decoded in the probe process
// (DecodeProbe.cpp) one after the other as the view would show them, with the memory each took.

#include <gtest/gtest.h>

#include "tests/PictureMakers.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"
#include "viewer/DecodedPicture.h"

#include <QCoreApplication>
#include <QPainter>
#include <QProcess>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

using namespace shoebox::testing;
using shoebox::imaging::Problem;

namespace {

const QColor red(200, 30, 30), green(30, 160, 60), blue(40, 90, 200), white(235, 235, 235), clear(0, 0, 0, 0);

struct Shape {
    const char* file; // its name says what it is
    std::function<bool(const std::string& path)> make;
    Problem problem;
    QSize decoded = {}; // upright, before it is fitted to the 1920x1080 view
    // What the fitted picture shows at places of a 3x3 grid (0 top left, 4 the middle, 8 bottom right).
    std::vector<std::pair<int, QColor>> colours = {};
    long peakMiB = 0;                 // at most this peak memory while it decodes, when given
    std::int64_t neededAtLeast = 0;   // TooLarge: the memory the placeholder says it would need
};

bool save(const std::string& path, const QByteArray& bytes)
{
    return !bytes.isEmpty() && !writeFile(path, bytes.toStdString()).empty();
}

QImage quadrants(QSize size, QColor topLeft, QColor topRight, QColor bottomLeft, QColor bottomRight)
{
    QImage image(size, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, topLeft);
    painter.fillRect(w, 0, size.width() - w, h, topRight);
    painter.fillRect(0, h, w, size.height() - h, bottomLeft);
    painter.fillRect(w, h, size.width() - w, size.height() - h, bottomRight);
    return image;
}

bool jpegOf(const std::string& path, QSize size, QColor left, QColor right)
{
    return writeJpegRows(path, size.width(), size.height(), [&](int, std::vector<quint32>& row) {
        std::fill(row.begin(), row.begin() + qsizetype(row.size() / 2), left.rgb());
        std::fill(row.begin() + qsizetype(row.size() / 2), row.end(), right.rgb());
    });
}

// What phones append to a still for its motion: an MP4 of their own.
const QByteArray movie = box("ftyp", "mp42" + bigEndian(0, 4) + "isommp42") +
                         box("moov", box("mvhd", QByteArray(100, '\0'))) + box("mdat", QByteArray(5000, 'v'));

const std::vector<Shape> shapes = {
    // The big ones first, one after the other, as someone stepping through them.
    {"48mp-grid.heic",
     [](auto& path) {
         const CodedImage tile = codedImage(solid(512, 512, blue));
         return !tile.isNull() && save(path, heifGrid(16, 12, {8064, 6048}, [&](int, int) -> auto& { return tile; }));
     },
     Problem::None, {8064, 6048}, {{4, blue}}, 400},
    {"100mp.jpg", [](auto& path) { return jpegOf(path, {11648, 8736}, green, green); }, Problem::None, {1456, 1092},
     {{4, green}}, 100},
    {"panorama-16000x4000.jpg", [](auto& path) { return jpegOf(path, {16000, 4000}, red, blue); }, Problem::None,
     {2000, 500}, {{3, red}, {5, blue}}, 100},
    {"64mp.png", [](auto& path) { return save(path, encode(solid(8000, 8000, green), "PNG")); }, Problem::None,
     {8000, 8000}, {{4, green}}, 330},
    // Every HEIF libheif decodes, whatever its brand and whatever it carries.
    {"tiled-cropped.heic",
     [](auto& path) {
         const CodedImage tiles[4] = {codedImage(solid(512, 512, red)), codedImage(solid(512, 512, green)),
                                      codedImage(solid(512, 512, blue)), codedImage(solid(512, 512, white))};
         return !tiles[0].isNull() &&
                save(path, heifGrid(2, 2, {1000, 900}, [&](int c, int r) -> auto& { return tiles[r * 2 + c]; }));
     },
     Problem::None, {1000, 900}, {{0, red}, {2, green}, {6, blue}, {8, white}}},
    {"brand-mif1.heic",
     [](auto& path) {
         QByteArray heif = heifFromImage(solid(640, 480, blue));
         return save(path, heif.isEmpty() ? heif : heif.replace(8, 4, "mif1"));
     },
     Problem::None, {640, 480}, {{4, blue}}},
    {"cropped-turned.heic",
     [](auto& path) {
         // Cropped to its middle 600x400 ('clap'), then a quarter turn anticlockwise ('irot').
         const CodedImage image = codedImage(quadrants({640, 480}, red, green, blue, white));
         const QByteArray clap = box("clap", bigEndian(600, 4) + bigEndian(1, 4) + bigEndian(400, 4) +
                                                 bigEndian(1, 4) + bigEndian(0, 4) + bigEndian(1, 4) +
                                                 bigEndian(0, 4) + bigEndian(1, 4));
         return !image.isNull() &&
                save(path, heifFile({{"hvc1", image.data,
                                      {image.config, spatialExtent(image.size), clap, box("irot", bigEndian(1, 1))}}}));
     },
     Problem::None, {400, 600}, {{0, green}, {2, white}, {6, red}, {8, blue}}},
    {"10-bit.heic", [](auto& path) { return save(path, heifFromImage(solid(640, 480, green), true)); }, Problem::None,
     {640, 480}, {{4, green}}},
    {"alpha.heic", [](auto& path) { return save(path, heifFromImage(quadrants({640, 480}, clear, red, clear, red))); },
     Problem::None, {640, 480}, {{3, clear}, {5, red}}},
    // Motion photos: the still shows.
    {"motion-photo.jpg", [](auto& path) { return save(path, encode(solid(640, 480, red)) + movie); }, Problem::None,
     {640, 480}, {{4, red}}},
    {"motion-photo.heic",
     [](auto& path) {
         const QByteArray still = heifFromImage(solid(640, 480, blue));
         return save(path, still.isEmpty() ? still : still + box("mpvd", movie));
     },
     Problem::None, {640, 480}, {{4, blue}}},
    // What cannot show says why, and costs nothing.
    {"claims-65500x65500.jpg",
     [](auto& path) {
         QByteArray jpeg = encode(solid(8, 8, red));
         return save(path, jpeg.replace(jpeg.indexOf("\xFF\xC0") + 5, 4, QByteArray::fromHex("ffdcffdc")));
     },
     Problem::Damaged, {}, {}, 60},
    {"claims-65500x65500.heic",
     [](auto& path) {
         const QByteArray heif = heifFromImage(solid(64, 64, red));
         return save(path, heif.isEmpty() ? heif : claimingSize(heif, QByteArray::fromHex("0000ffdc0000ffdc")));
     },
     Problem::TooLarge, {}, {}, 60, std::int64_t(16) << 30},
    {"truncated.heic",
     [](auto& path) {
         const QByteArray heif = heifFromImage(noise(640, 480, 5));
         return save(path, heif.left(heif.size() * 2 / 3));
     },
     Problem::Damaged},
    // And then ordinary photos again.
    {"ordinary.jpg", [](auto& path) { return jpegOf(path, {4000, 3000}, blue, blue); }, Problem::None, {2000, 1500},
     {{4, blue}}},
};

bool near(QColor got, QColor want)
{
    if (want.alpha() == 0)
        return got.alpha() < 10; // transparent: its colour is anything
    return std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
               std::abs(got.blue() - want.blue()) + std::abs(got.alpha() - want.alpha()) <
           60;
}

// Guards a real photo refused or shown as "can't show" (a 48 MP phone HEIC, a HEIF by a brand the decoder was not
// told of, a big PNG), a turn or crop not applied, a picture that takes more memory than it should or keeps it, or a
// hostile header that costs what it claims.
TEST(PhotoShapesTest, EveryShapePhonesAndCamerasMakeShowsOrSaysWhyNot)
{
    TempDir dir;
    std::vector<const Shape*> made;
    QStringList files;
    for (const Shape& shape : shapes) {
        if (!shape.make(dir / shape.file)) {
            std::cout << "[ SKIPPED  ] " << shape.file << ": this machine cannot make it (no HEVC encoder?)\n";
            continue;
        }
        made.push_back(&shape);
        files << QString::fromStdString(dir / shape.file);
    }
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + "/shoebox_decode_probe", files);
    ASSERT_TRUE(waitUntil([&] { return probe.state() == QProcess::NotRunning; }, 120000));
    const QStringList lines = QString::fromLatin1(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

    ASSERT_EQ(lines.size(), qsizetype(made.size())) << probe.readAllStandardError().toStdString();

    long highest = 0, held = 0;
    for (size_t i = 0; i < made.size(); ++i) {
        const Shape& shape = *made[i];
        SCOPED_TRACE(shape.file);
        const QStringList got = lines[qsizetype(i)].split(' ');
        ASSERT_EQ(got.size(), 7) << lines[qsizetype(i)].toStdString();
        EXPECT_EQ(got[0].toInt(), int(shape.problem));
        if (shape.problem == Problem::None)
            EXPECT_EQ(got[1], QStringLiteral("%1x%2").arg(shape.decoded.width()).arg(shape.decoded.height()));
        EXPECT_GE(got[3].toLongLong(), shape.neededAtLeast);
        const long peakMiB = got[4].toLong() / 1024;
        if (shape.peakMiB > 0)
            EXPECT_LE(peakMiB, shape.peakMiB) << "MiB at the peak";
        highest = std::max(highest, peakMiB);
        held = got[5].toLong() / 1024;
        const QStringList pixels = got[6].split(',');
        for (const auto& [place, colour] : shape.colours)
            EXPECT_TRUE(near(QColor(pixels.value(place)), colour)) << place << ": " << pixels.value(place).toStdString();
    }
    EXPECT_LE(highest, 700) << "MiB at the peak, all of them one after the other";
    EXPECT_LT(held, 300) << "MiB held after the ordinary photo that came last";
}

} // namespace
