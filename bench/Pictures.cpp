#include "bench/Pictures.h"

#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "bench/Measure.h"
#include "bench/Processes.h"

namespace shoebox::bench {

void writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            die(std::string("write: ") + std::strerror(errno));
        p += n;
        size -= static_cast<size_t>(n);
    }
}

namespace {

struct Rng {
    std::uint64_t s;
    std::uint64_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    double uniform() { return double(next() >> 11) / double(1ull << 53); }
};

// RGB pixels that compress like a photograph: a smooth gradient, soft-edged
// shapes, mid-frequency texture (two smoothed-noise tiles at different
// scales, so it does not repeat visibly) and per-pixel sensor noise.
std::vector<unsigned char> makePixels(int w, int h, std::uint64_t seed)
{
    Rng rng{seed * 0x9E3779B97F4A7C15ull + 0x1234567};
    for (int i = 0; i < 8; ++i)
        rng.next();
    float corner[4][3];
    for (auto& c : corner)
        for (float& v : c)
            v = float(40 + rng.uniform() * 180);

    constexpr int T = 256;
    auto makeTile = [&](float amplitude) {
        std::vector<float> a(T * T), b(T * T);
        for (float& v : a)
            v = float(rng.uniform() * 2 - 1);
        for (int pass = 0; pass < 2; ++pass) { // separable box blur, radius 2, wrapping
            for (int y = 0; y < T; ++y)
                for (int x = 0; x < T; ++x) {
                    float s = 0;
                    for (int d = -2; d <= 2; ++d)
                        s += a[y * T + ((x + d) & (T - 1))];
                    b[y * T + x] = s / 5;
                }
            for (int y = 0; y < T; ++y)
                for (int x = 0; x < T; ++x) {
                    float s = 0;
                    for (int d = -2; d <= 2; ++d)
                        s += b[((y + d) & (T - 1)) * T + x];
                    a[y * T + x] = s / 5;
                }
        }
        for (float& v : a)
            v *= amplitude;
        return a;
    };
    const std::vector<float> fine = makeTile(60), coarse = makeTile(90);

    struct Shape {
        float cx, cy, rx, ry, alpha;
        float colour[3];
    };
    std::vector<Shape> shapes(28);
    for (Shape& s : shapes) {
        s.cx = float(rng.uniform() * w);
        s.cy = float(rng.uniform() * h);
        s.rx = float((0.02 + rng.uniform() * 0.18) * w);
        s.ry = float((0.02 + rng.uniform() * 0.18) * h);
        s.alpha = float(0.3 + rng.uniform() * 0.6);
        for (float& c : s.colour)
            c = float(rng.uniform() * 255);
    }
    const int ox = int(rng.next() & 255), oy = int(rng.next() & 255);

    std::vector<unsigned char> pixels(size_t(w) * h * 3);
    std::vector<float> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        const float fy = float(y) / float(h);
        for (int x = 0; x < w; ++x) {
            const float fx = float(x) / float(w);
            for (int c = 0; c < 3; ++c)
                row[size_t(x) * 3 + c] = (corner[0][c] * (1 - fx) + corner[1][c] * fx) * (1 - fy) +
                                         (corner[2][c] * (1 - fx) + corner[3][c] * fx) * fy;
        }
        for (const Shape& s : shapes) {
            const float dy = (float(y) - s.cy) / s.ry;
            if (dy <= -1 || dy >= 1)
                continue;
            const float half = s.rx * std::sqrt(1 - dy * dy);
            const int x0 = std::max(0, int(s.cx - half)), x1 = std::min(w, int(s.cx + half));
            for (int x = x0; x < x1; ++x) {
                // Shaded towards the edge, like a lit round object.
                const float dx = (float(x) - s.cx) / s.rx;
                const float a = s.alpha * (1 - 0.5f * (dx * dx + dy * dy));
                for (int c = 0; c < 3; ++c) {
                    float& v = row[size_t(x) * 3 + c];
                    v += (s.colour[c] - v) * a;
                }
            }
        }
        const float* fineRow = &fine[size_t((y + oy) & (T - 1)) * T];
        const float* coarseRow = &coarse[size_t(((y / 3) + oy) & (T - 1)) * T];
        unsigned char* out = &pixels[size_t(y) * w * 3];
        for (int x = 0; x < w; ++x) {
            const std::uint64_t r = rng.next();
            const float noise = float(int(r & 0xFF) + int((r >> 8) & 0xFF) - 255) / 24.0f;
            const float luma = fineRow[(x + ox) & (T - 1)] + coarseRow[((x / 3) + ox) & (T - 1)] + noise;
            for (int c = 0; c < 3; ++c) {
                const float chroma = float(int((r >> (16 + 8 * c)) & 7) - 3);
                const float v = row[size_t(x) * 3 + c] + luma + chroma;
                out[size_t(x) * 3 + c] = (unsigned char)std::clamp(v, 0.0f, 255.0f);
            }
        }
    }
    return pixels;
}

// Big-endian TIFF fields, as the EXIF block below is written.
void put16(std::vector<unsigned char>& out, unsigned v)
{
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}
void put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}
void putEntry(std::vector<unsigned char>& out, unsigned tag, unsigned type, std::uint32_t value)
{
    put16(out, tag);
    put16(out, type);
    put32(out, 1); // one value, stored in the entry itself
    if (type == 3) {
        put16(out, value); // a SHORT sits left-aligned in the four bytes
        put16(out, 0);
    } else {
        put32(out, value);
    }
}

// An APP1 "Exif" segment as a camera writes it: IFD0 with the orientation,
// then IFD1 describing the JPEG thumbnail that follows it.
std::vector<unsigned char> exifSegment(bool rotated90, const std::vector<unsigned char>& thumbnail)
{
    constexpr std::uint32_t ifd0 = 8, ifd1 = ifd0 + 2 + 12 + 4, thumbnailAt = ifd1 + 2 + 3 * 12 + 4;
    std::vector<unsigned char> tiff = {'M', 'M', 0x00, 0x2A};
    put32(tiff, ifd0);
    put16(tiff, 1);
    putEntry(tiff, 0x0112, 3, rotated90 ? 6 : 1); // Orientation
    put32(tiff, ifd1);
    put16(tiff, 3);
    putEntry(tiff, 0x0103, 3, 6);                                            // Compression: JPEG
    putEntry(tiff, 0x0201, 4, thumbnailAt);                                  // JPEGInterchangeFormat
    putEntry(tiff, 0x0202, 4, static_cast<std::uint32_t>(thumbnail.size())); // ...Length
    put32(tiff, 0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());

    std::vector<unsigned char> segment = {0xFF, 0xE1};
    put16(segment, static_cast<unsigned>(2 + 6 + tiff.size()));
    segment.insert(segment.end(), {'E', 'x', 'i', 'f', 0, 0});
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    return segment;
}

std::vector<unsigned char> compressJpeg(const unsigned char* rgb, int w, int h, int quality)
{
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, rgb, w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality, 0) != 0)
        die(std::string("tjCompress2: ") + tjGetErrorStr2(tj));
    std::vector<unsigned char> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return bytes;
}

// The 160-pixel-wide preview cameras embed, picked from the full pixels.
std::vector<unsigned char> thumbnailOf(const std::vector<unsigned char>& pixels, int w, int h)
{
    const int tw = 160, th = std::max(1, h * tw / w);
    std::vector<unsigned char> small(static_cast<size_t>(tw) * th * 3);
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            std::memcpy(&small[(static_cast<size_t>(y) * tw + x) * 3],
                        &pixels[(static_cast<size_t>(y * h / th) * w + x * w / tw) * 3], 3);
    return compressJpeg(small.data(), tw, th, 80);
}

void writeJpeg(const Photo& photo, std::uint64_t seed)
{
    const std::vector<unsigned char> pixels = makePixels(photo.width, photo.height, seed);
    const std::vector<unsigned char> jpeg = compressJpeg(pixels.data(), photo.width, photo.height, 92);
    const std::vector<unsigned char> exif =
        exifSegment(photo.rotated90, thumbnailOf(pixels, photo.width, photo.height));
    const int fd = ::open(photo.path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        die("create " + photo.path + ": " + std::strerror(errno));
    writeAll(fd, jpeg.data(), 2); // SOI
    writeAll(fd, exif.data(), exif.size());
    writeAll(fd, jpeg.data() + 2, jpeg.size() - 2);
    ::close(fd);
}

} // namespace

void writeJpegs(const std::vector<Photo>& photos, std::uint64_t seedBase)
{
    std::atomic<size_t> nextIndex{0};
    auto worker = [&] {
        for (size_t i; (i = nextIndex++) < photos.size();)
            writeJpeg(photos[i], seedBase + i);
    };
    std::thread other(worker);
    worker();
    other.join();
}

// A 12 MP HEIC with a 320-pixel thumbnail, as phones store them.
bool writeHeic(const std::string& path, int w, int h, std::uint64_t seed)
{
    const std::vector<unsigned char> pixels = makePixels(w, h, seed);
    heif_image* image = nullptr;
    heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y)
        std::memcpy(plane + size_t(y) * stride, &pixels[size_t(y) * w * 3], size_t(w) * 3);

    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    bool ok = heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code == heif_error_Ok;
    if (ok) {
        heif_encoder_set_lossy_quality(encoder, 80);
        heif_encoder_set_parameter_string(encoder, "preset", "ultrafast"); // encoding speed only
        heif_image_handle* handle = nullptr;
        heif_image_handle* thumbnail = nullptr;
        ok = heif_context_encode_image(ctx, image, encoder, nullptr, &handle).code == heif_error_Ok &&
             heif_context_encode_thumbnail(ctx, image, handle, encoder, nullptr, 320, &thumbnail).code ==
                 heif_error_Ok &&
             heif_context_write_to_file(ctx, path.c_str()).code == heif_error_Ok;
        heif_image_handle_release(thumbnail);
        heif_image_handle_release(handle);
        heif_encoder_release(encoder);
    }
    heif_context_free(ctx);
    heif_image_release(image);
    return ok;
}

bool writeVideo(const std::string& path)
{
    // Two seconds of 1080p at 30 frames a second, H.264 with AAC sound in
    // an MP4, like a phone's clip. OpenH264 comes with the GStreamer
    // plugins the app already needs for playback.
    const std::string video = "videotestsrc num-buffers=60 ! video/x-raw,width=1920,height=1080,framerate=30/1 "
                              "! videoconvert ! openh264enc ! h264parse ! mp4mux name=mux ! filesink location=" +
                              path;
    const std::string sound = " audiotestsrc num-buffers=87 samplesperbuffer=1024 "
                              "! audio/x-raw,rate=44100,channels=2 ! audioconvert ! voaacenc ! mux.";
    auto launch = [](const std::string& pipeline) {
        std::vector<std::string> args = {"gst-launch-1.0", "-q"};
        for (size_t from = 0; from < pipeline.size();) {
            const size_t space = std::min(pipeline.find(' ', from), pipeline.size());
            if (space > from)
                args.push_back(pipeline.substr(from, space - from));
            from = space + 1;
        }
        // Quiet: OpenH264 reports a harmless parameter error on its first frame.
        return !std::isnan(runTimed(args, nullptr, true));
    };
    return launch(video + sound) || launch(video);
}

} // namespace shoebox::bench
