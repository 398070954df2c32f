#include "bench/Baselines.h"

#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>

#include <libheif/heif.h>
#include <turbojpeg.h>

#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/Measure.h"
#include "tests/support/QtWait.h"
#include "viewer/JpegDecoder.h"

namespace shoebox::bench {

namespace {

std::vector<unsigned char> readWhole(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        die("open " + path);
    struct stat st {};
    ::fstat(fd, &st);
    std::vector<unsigned char> data(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    data.resize(done);
    return data;
}

} // namespace

double turboJpegMs(const Photo& photo, QSize box)
{
    tjhandle tj = tjInitDecompress();
    const auto t0 = Clock::now();
    const std::vector<unsigned char> data = readWhole(photo.path);
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, data.data(), data.size(), &w, &h, &subsampling, &colourspace) != 0)
        die("tjDecompressHeader3 " + photo.path);
    // The chooser answers with the stored size divided by 1, 2, 4 or 8.
    const QSize scaled = imaging::chooseJpegScaledSize(QSize(w, h), photo.rotated90, box);
    const int denominator = std::max(1, static_cast<int>(std::lround(double(w) / scaled.width())));
    const tjscalingfactor factor{1, denominator};
    const int sw = TJSCALED(w, factor), sh = TJSCALED(h, factor);
    std::vector<unsigned char> out(static_cast<size_t>(sw) * sh * 4);
    if (tjDecompress2(tj, data.data(), data.size(), out.data(), sw, 0, sh, TJPF_BGRX, 0) != 0)
        die("tjDecompress2 " + photo.path);
    const double ms = msBetween(t0, Clock::now());
    tjDestroy(tj);
    return ms;
}

double libheifMs(const std::string& path, bool thumbnail)
{
    const auto t0 = Clock::now();
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image_handle* decodeThis = nullptr;
    heif_image* image = nullptr;
    bool ok = heif_context_read_from_file(ctx, path.c_str(), nullptr).code == heif_error_Ok &&
              heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok;
    if (ok && thumbnail) {
        heif_item_id id = 0;
        ok = heif_image_handle_get_list_of_thumbnail_IDs(handle, &id, 1) == 1 &&
             heif_image_handle_get_thumbnail(handle, id, &decodeThis).code == heif_error_Ok;
    }
    ok = ok && heif_decode_image(thumbnail ? decodeThis : handle, &image, heif_colorspace_RGB,
                                 heif_chroma_interleaved_RGB, nullptr)
                       .code == heif_error_Ok;
    heif_image_release(image);
    heif_image_handle_release(decodeThis);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return ok ? msBetween(t0, Clock::now()) : NAN;
}

double videoFirstFrameMs(const std::string& path)
{
    QMediaPlayer player;
    QVideoSink sink;
    player.setVideoSink(&sink);
    QImage first;
    QObject::connect(&sink, &QVideoSink::videoFrameChanged, &sink, [&first](const QVideoFrame& frame) {
        if (first.isNull() && frame.isValid())
            first = frame.toImage();
    });
    const auto t0 = Clock::now();
    player.setSource(QUrl::fromLocalFile(QString::fromStdString(path))); // the benchmark's own ASCII names
    player.play();
    const bool shown = shoebox::testing::waitUntil([&] { return !first.isNull(); }, 10000);
    const double ms = msBetween(t0, Clock::now());
    player.stop();
    return shown ? ms : NAN;
}

} // namespace shoebox::bench
