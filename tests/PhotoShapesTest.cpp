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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool measuresMemory = false; // AddressSanitizer's shadow memory and quarantine swell every figure
#else
constexpr bool measuresMemory = true;
#endif

const QColor red(200, 30, 30), green(30, 160, 60), blue(40, 90, 200), white(235, 235, 235), clear(0, 0, 0, 0);

struct Shape {
    const char* file; // its name says what it is
    std::function<bool(const std::string& path)> make;
    Problem problem;
    QSize decoded = {}; // upright, before it is fitted to the 1920x1080 view; none for a placeholder
    // What the fitted picture shows at places of a 3x3 grid (0 top left, 4 the middle, 8 bottom right).
    std::vector<std::pair<int, QColor>> colours = {};
    long peakMiB = 0;               // at most this peak memory while it decodes, when given
    std::int64_t neededAtLeast = 0; // TooLarge: the memory the placeholder says it would need
};

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

// What phones append to a still for its motion: an MP4 of their own.
const QByteArray movie = box("ftyp", "mp42" + bigEndian(0, 4) + "isommp42") +
                         box("moov", box("mvhd", QByteArray(100, '\0'))) + box("mdat", QByteArray(5000, 'v'));

// The makers: false where this machine cannot (libheif without an HEVC encoder).
bool grid48mp(const std::string& path)
{
    const CodedImage tile = codedImage(solid(512, 512, blue));
    return !tile.isNull() && save(path, heifGrid(
                                            16, 12, {8064, 6048}, [&](int, int) -> auto& { return tile; }));
}
bool gridCropped(const std::string& path)
{
    const CodedImage tiles[4] = {codedImage(solid(512, 512, red)), codedImage(solid(512, 512, green)),
                                 codedImage(solid(512, 512, blue)), codedImage(solid(512, 512, white))};
    return !tiles[0].isNull() &&
           save(path, heifGrid(
                          2, 2, {1000, 900}, [&](int c, int r) -> auto& { return tiles[r * 2 + c]; }));
}
// Cropped to its middle 600x400 ('clap'), then a quarter turn anticlockwise ('irot').
bool croppedTurned(const std::string& path)
{
    const CodedImage image = codedImage(quadrants({640, 480}, red, green, blue, white));
    QByteArray clap;
    for (int value : {600, 1, 400, 1, 0, 1, 0, 1}) // width, height, offsets from the middle: fractions
        clap += bigEndian(quint64(value), 4);
    const QByteArray properties[] = {image.config, spatialExtent(image.size), box("clap", clap),
                                     box("irot", bigEndian(1, 1))};
    return !image.isNull() &&
           save(path, heifFile({{"hvc1", image.data, {std::begin(properties), std::end(properties)}}}));
}
// A HEIF of `image` with `edit` made to its bytes.
bool heifEdited(const std::string& path, const QImage& image, const std::function<QByteArray(QByteArray)>& edit)
{
    const QByteArray heif = heifFromImage(image);
    return save(path, heif.isEmpty() ? heif : edit(heif));
}

constexpr std::int64_t gib = std::int64_t(1) << 30;

// In the order they decode: the big ones one after the other, as someone stepping through them, then the rest,
// and last an ordinary photo again.
// clang-format off
const std::vector<Shape> shapes = {
    {"48mp-grid.heic", grid48mp, Problem::None, {8064, 6048}, {{4, blue}}, 400},
    {"100mp.jpg", [](auto& p) { return jpegOf(p, {11648, 8736}, green, green); }, Problem::None, {1456, 1092}, {{4, green}}, 100},
    {"panorama-16000x4000.jpg", [](auto& p) { return jpegOf(p, {16000, 4000}, red, blue); }, Problem::None, {2000, 500}, {{3, red}, {5, blue}}, 100},
    {"64mp.png", [](auto& p) { return save(p, encode(solid(8000, 8000, green), "PNG")); }, Problem::None, {1080, 1080}, {{4, green}}, 100}, // scaled as it is read
    {"grid-cropped.heic", gridCropped, Problem::None, {1000, 900}, {{0, red}, {2, green}, {6, blue}, {8, white}}},
    {"brand-mif1.heic", [](auto& p) { return heifEdited(p, solid(640, 480, blue), [](QByteArray h) { return h.replace(8, 4, "mif1"); }); }, Problem::None, {640, 480}, {{4, blue}}},
    {"cropped-turned.heic", croppedTurned, Problem::None, {400, 600}, {{0, green}, {2, white}, {6, red}, {8, blue}}},
    {"10-bit.heic", [](auto& p) { return save(p, heifFromImage(solid(640, 480, green), {true})); }, Problem::None, {640, 480}, {{4, green}}},
    {"alpha.heic", [](auto& p) { return save(p, heifFromImage(quadrants({640, 480}, clear, red, clear, red))); }, Problem::None, {640, 480}, {{3, clear}, {5, red}}},
    {"motion-photo.jpg", [](auto& p) { return save(p, encode(solid(640, 480, red)) + movie); }, Problem::None, {640, 480}, {{4, red}}},
    // As one phone maker stores it: the video in a box of its own after the picture's.
    {"motion-photo.heic", [](auto& p) { return heifEdited(p, solid(640, 480, blue), [](const QByteArray& h) { return h + box("mpvd", movie); }); }, Problem::None, {640, 480}, {{4, blue}}},
    {"claims-65500x65500.jpg", [](auto& p) { QByteArray jpeg = encode(solid(8, 8, red)); return save(p, jpeg.replace(jpeg.indexOf("\xFF\xC0") + 5, 4, "\xFF\xDC\xFF\xDC")); }, Problem::Damaged, {}, {}, 60},
    {"claims-65500x65500.heic", [](auto& p) { return save(p, claimingSize(heifFromImage(solid(64, 64, red)), "0000ffdc0000ffdc")); }, Problem::TooLarge, {}, {}, 60, 16 * gib},
    {"truncated.heic", [](auto& p) { return heifEdited(p, noise(640, 480, 5), [](const QByteArray& h) { return h.left(h.size() * 2 / 3); }); }, Problem::Damaged},
    {"ordinary.jpg", [](auto& p) { return jpegOf(p, {4000, 3000}, blue, blue); }, Problem::None, {2000, 1500}, {{4, blue}}},
};
// clang-format on

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
        EXPECT_EQ(got[1].toStdString(),
                  std::to_string(shape.decoded.width()) + "x" + std::to_string(shape.decoded.height()));
        EXPECT_GE(got[3].toLongLong(), shape.neededAtLeast);
        const long peakMiB = got[4].toLong() / 1024;
        if (shape.peakMiB > 0 && measuresMemory) {
            EXPECT_LE(peakMiB, shape.peakMiB) << "MiB at the peak";
        }
        highest = std::max(highest, peakMiB);
        held = got[5].toLong() / 1024;
        const QStringList pixels = got[6].split(',');
        for (const auto& [place, colour] : shape.colours)
            EXPECT_TRUE(near(QColor(pixels.value(place)), colour))
                << place << ": " << pixels.value(place).toStdString();
    }
    if (!measuresMemory)
        return;
    EXPECT_LE(highest, 700) << "MiB at the peak, all of them one after the other";
    EXPECT_LT(held, 300) << "MiB held after the ordinary photo that came last";
}

} // namespace
