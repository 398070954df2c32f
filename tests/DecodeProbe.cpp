// Decodes the files named after a target size (WIDTHxHEIGHT) one after the
// other, in a fresh process, and prints one line per file ("<problem>
// <width>x<height>" of the decoded size), then the process's peak resident
// memory ("peak <kB>"). The decode budget test runs it to measure memory.

#include "ImageDecoder.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    int width = 0, height = 0;
    if (std::sscanf(argv[1], "%dx%d", &width, &height) != 2)
        return 2;
    for (int i = 2; i < argc; ++i) {
        const auto d = shoebox::imaging::decodePicture({argv[i], QSize(width, height), 1.0});
        std::printf("%d %dx%d\n", int(d.problem), d.decodedSize.width(), d.decodedSize.height());
    }
    // The high-water mark of this process's own memory, not inherited.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("peak %ld\n", std::stol(line.substr(6)));
    }
    return 0;
}
