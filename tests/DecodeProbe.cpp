// Decodes the files it is given for a 1920x1080 view, in a process of its own: a line a file, "<problem>
// <decoded width>x<height>", then the process's peak resident memory, "peak <kB>".

#include "viewer/ImageDecoder.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const auto d = shoebox::imaging::decodePicture({argv[i], QSize(1920, 1080), 1.0});
        std::printf("%d %dx%d\n", int(d.problem), d.decodedSize.width(), d.decodedSize.height());
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) // this process's own, not inherited through fork
            std::printf("peak %ld\n", std::stol(line.substr(6)));
    }
}
