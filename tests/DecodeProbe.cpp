// Decodes the files it is given, one after the other, for a 1920x1080 view, in a process of its own, and prints a
// line a file:
//   <problem> <decoded width>x<height> <shown width>x<height> <needed bytes> <peak kB> <resident kB> <pixels>
// The peak is this process's highest resident memory (VmHWM) while it decoded that file (the mark is reset before
// each), the resident memory is what it held after; the pixels are the shown picture's at nine places (a 3x3 grid at
// 1/6, 1/2 and 5/6 of each side, row by row) as #aarrggbb, or "-" for a placeholder.

#include "viewer/ImageDecoder.h"

#include <QColor>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field))
            return std::stol(line.substr(std::char_traits<char>::length(field)));
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak mark starts again from what is resident now
        const auto d = shoebox::imaging::decodePicture({argv[i], QSize(1920, 1080), 1.0});
        const QImage shown = d.image.convertToFormat(QImage::Format_ARGB32); // pixel() then gives plain colours
        QStringList pixels;
        for (int y : {1, 3, 5}) {
            for (int x : {1, 3, 5}) {
                pixels << (shown.isNull() ? QStringLiteral("-")
                                          : QColor::fromRgba(shown.pixel(shown.width() * x / 6, shown.height() * y / 6))
                                                .name(QColor::HexArgb));
            }
        }
        std::printf("%d %dx%d %dx%d %lld %ld %ld %s\n", int(d.problem), d.decodedSize.width(), d.decodedSize.height(),
                    d.image.width(), d.image.height(), static_cast<long long>(d.neededBytes), statusKb("VmHWM:"),
                    statusKb("VmRSS:"), qPrintable(pixels.join(',')));
        std::fflush(stdout);
    }
}
