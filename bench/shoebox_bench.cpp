// Shoebox's benchmark. It makes its own data under /tmp (and /dev/shm for the
// cross-filesystem move), measures the real window and the platform layer,
// and prints one line per figure:
//
//     name: value unit | baseline: value unit | ratio: R
//
// where every baseline is measured in the same run and R = value / baseline.
// Progress and notes go to stderr, figures to stdout. Nothing here asserts on
// time. Flags: --quick skips the 1,000,000-file folder; --keep-data leaves
// the pictures for a profiler (the empty-file folders are always removed).
// --child-rss is a mode the program runs itself in, so that each memory
// high-water mark is a process of its own; start-up is timed on the two
// small programs of minimal_window.cpp.
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h> // renameat2, RENAME_NOREPLACE
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileMove.h"
#include "ImageViewWidget.h"
#include "LinuxFileManager.h"
#include "MainWindow.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using shoebox::FileURL;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1'000'000'000 + ts.tv_nsec;
}

void note(const char* format, auto... args)
{
    std::fprintf(stderr, "# ");
    std::fprintf(stderr, format, args...);
    std::fprintf(stderr, "\n");
}

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "shoebox_bench: %s\n", what.c_str());
    std::exit(2);
}

// Qt's offscreen platform warns about things a headless run cannot have
// (no XDG runtime folder, no window manager); keep stderr for our notes.
void quietQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
            message.contains(QLatin1String("propagateSizeHints")))
            return;
        std::fprintf(stderr, "%s\n", qPrintable(message));
        if (type == QtFatalMsg)
            std::abort();
    });
}

// ---- output ----

void report(const char* name, double value, double baseline, const char* unit)
{
    if (!std::isfinite(value) || !std::isfinite(baseline) || baseline <= 0) {
        std::printf("%s: n/a (measurement failed)\n", name);
    } else {
        std::printf("%s: %.2f %s | baseline: %.2f %s | ratio: %.2f\n", name, value, unit, baseline, unit,
                    value / baseline);
    }
    std::fflush(stdout);
}

void reportNA(const char* name, const char* why)
{
    std::printf("%s: n/a (%s)\n", name, why);
    std::fflush(stdout);
}

double percentile(std::vector<double> v, double p) // nearest rank
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}
double median(const std::vector<double>& v)
{
    return percentile(v, 50);
}

// ---- processes ----

std::string selfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

// Runs args[0] (found on PATH) with stdout into `out`, or /dev/null when
// null. Returns the wall time from spawn to reaped, or NaN on failure.
double runTimed(const std::vector<std::string>& args, std::string* out = nullptr)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (out) {
        if (pipe2(fds, O_CLOEXEC) != 0)
            die("pipe");
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        ::close(fds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                out->append(buffer, size_t(n));
        ::close(fds[0]);
    }
    if (err != 0)
        return NAN;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const double ms = msBetween(t0, Clock::now());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : NAN;
}

long vmHighWaterKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// ---- files ----

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
        size -= size_t(n);
    }
}

std::vector<unsigned char> readFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        die("open " + path);
    struct stat st {};
    ::fstat(fd, &st);
    std::vector<unsigned char> data(size_t(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pread(fd, data.data() + done, data.size() - done, off_t(done));
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    data.resize(done);
    return data;
}

void makeFolder(const std::string& path)
{
    std::filesystem::create_directories(path);
}

void hardLink(const std::string& from, const std::string& to)
{
    if (::link(from.c_str(), to.c_str()) != 0)
        die("link " + to + ": " + std::strerror(errno));
}

std::string cameraName(int n, const char* extension = "JPG")
{
    char name[64];
    std::snprintf(name, sizeof name, "IMG_%04d.%s", n, extension);
    return name;
}

// `count` files named like a camera's, each `bytes` long (0: empty), made
// with open/close in a tight loop. Stops early (returning false) after
// `budgetSeconds`, so a slow disk cannot stretch the run without bound.
bool makeFiles(const std::string& folder, int count, size_t bytes, double budgetSeconds = 1e9)
{
    makeFolder(folder);
    const auto deadline = Clock::now() + std::chrono::duration<double>(budgetSeconds);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string content(bytes, 'x');
    bool complete = true;
    for (int i = 1; i <= count; ++i) {
        const int fd = ::openat(dir, cameraName(i).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            die("create in " + folder + ": " + std::strerror(errno));
        if (bytes)
            writeAll(fd, content.data(), bytes);
        ::close(fd);
        if (i % 10'000 == 0 && Clock::now() > deadline) {
            complete = false;
            break;
        }
    }
    ::close(dir);
    return complete;
}

// ---- pictures ----

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

// The smallest EXIF block a reader honours: an APP1 "Exif" segment whose
// TIFF header (big-endian) holds one IFD entry, Orientation (0x0112) = 6.
const unsigned char kExifOrientation6[] = {
    0xFF, 0xE1, 0x00, 0x22,                                                 // APP1, length 34
    'E',  'x',  'i',  'f',  0x00, 0x00,                                     // identifier
    'M',  'M',  0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,                         // TIFF header, IFD at 8
    0x00, 0x01,                                                             // one entry
    0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00, // Orientation SHORT 6
    0x00, 0x00, 0x00, 0x00,                                                 // no next IFD
};

struct Photo {
    std::string path;
    int width = 0, height = 0;
    bool rotated90 = false; // EXIF orientation 6
};

void writeJpeg(const Photo& photo, std::uint64_t seed)
{
    const std::vector<unsigned char> pixels = makePixels(photo.width, photo.height, seed);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, pixels.data(), photo.width, 0, photo.height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 92, 0) != 0)
        die(std::string("tjCompress2: ") + tjGetErrorStr2(tj));
    const int fd = ::open(photo.path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    writeAll(fd, jpeg, 2); // SOI
    if (photo.rotated90)
        writeAll(fd, kExifOrientation6, sizeof kExifOrientation6);
    writeAll(fd, jpeg + 2, size - 2);
    ::close(fd);
    tjFree(jpeg);
    tjDestroy(tj);
}

// Makes the photos on both cores.
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

// ---- baselines: the libraries alone ----

// The view's box for a picture: it shows the photo upright, so a 90° EXIF
// rotation swaps the box the stored picture has to cover.
int jpegScaleDenominator(QSize stored, bool rotated90, QSize box)
{
    const QSize fit = stored.scaled(rotated90 ? box.transposed() : box, Qt::KeepAspectRatio);
    for (int d : {8, 4, 2})
        if (stored.width() / d >= fit.width() && stored.height() / d >= fit.height())
            return d;
    return 1;
}

// Reads the file and decodes it with TurboJPEG at the largest 1/2, 1/4, 1/8
// scale that still covers the view, into 32-bit pixels (what the view paints).
double turboJpegMs(const Photo& photo, QSize box)
{
    tjhandle tj = tjInitDecompress();
    const auto t0 = Clock::now();
    const std::vector<unsigned char> data = readFile(photo.path);
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, data.data(), data.size(), &w, &h, &subsampling, &colourspace) != 0)
        die("tjDecompressHeader3 " + photo.path);
    const int d = jpegScaleDenominator(QSize(w, h), photo.rotated90, box);
    const tjscalingfactor factor{1, d};
    const int sw = TJSCALED(w, factor), sh = TJSCALED(h, factor);
    std::vector<unsigned char> out(size_t(sw) * sh * 4);
    if (tjDecompress2(tj, data.data(), data.size(), out.data(), sw, 0, sh, TJPF_BGRX, 0) != 0)
        die("tjDecompress2 " + photo.path);
    const double ms = msBetween(t0, Clock::now());
    tjDestroy(tj);
    return ms;
}

// A plain libheif decode of the primary picture (or its first thumbnail) to
// interleaved RGB, file read included.
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

// ---- the real window ----

struct PanelStub final : shoebox::OpenPanel {
    std::optional<FileURL> answer;
    std::optional<FileURL> chooseFolder() override { return std::exchange(answer, std::nullopt); }
};
struct AlertStub final : shoebox::Alert {
    void showWarning(std::string_view message, std::string_view) override
    {
        note("alert: %.*s", int(message.size()), message.data());
    }
};
struct QuietOutput final : shoebox::Output {
    void print(std::string_view) override {}
};

// Processes events until `done` holds; false after `timeoutMs`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QTimer tick; // wakes the loop even when nothing else arrives
    tick.start(2);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets the event loop (and so the view's prefetching) run for `ms`.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The sorting window, shown, with stand-ins only for the folder panel, the
// alert and the console; it records when the view paints the awaited file.
// The offscreen platform exposes a shown window and paints it on update()
// like a real one, so no grab() or repaint() is needed to get a frame.
class Harness {
public:
    explicit Harness(QSize size)
        : window_(shoebox::MainWindow::Overrides{.openPanel = &panel_, .alert = &alert_, .output = &output_})
    {
        window_.resize(size);
        window_.show();
        window_.activateWindow();
        if (!QTest::qWaitForWindowExposed(&window_, 5000))
            note("window not exposed");
        if (!QTest::qWaitForWindowActive(&window_, 2000))
            note("window not active: shortcuts may not fire");
        view_ = window_.findChild<shoebox::ImageViewWidget*>("imageViewer");
        if (!view_)
            die("no image view named imageViewer");
        QObject::connect(view_, &shoebox::ImageViewWidget::framePainted, &window_, [this] {
            if (!awaited_ || view_->currentURL() != *awaited_ || view_->currentImage().isNull())
                return;
            const auto now = Clock::now();
            if (!firstFrame_)
                firstFrame_ = now;
            // Only the full picture goes into the cache; an embedded
            // thumbnail shown first does not. (Its size tells nothing: the
            // view fits the thumbnail to the same box as the full picture.)
            if (!fullFrame_ && view_->isCached(*awaited_))
                fullFrame_ = now;
        });
    }

    shoebox::ImageViewWidget& view() { return *view_; }
    QSize viewPixels() const { return (QSizeF(view_->size()) * view_->devicePixelRatioF()).toSize(); }

    void await(const FileURL& url)
    {
        awaited_ = url;
        firstFrame_.reset();
        fullFrame_.reset();
    }
    bool waitForFull(int timeoutMs = 30000)
    {
        return waitUntil([this] { return fullFrame_.has_value(); }, timeoutMs);
    }
    void waitIdle()
    {
        waitUntil([this] { return view_->pendingDecodes() == 0; }, 60000);
    }
    std::optional<Clock::time_point> firstFrame() const { return firstFrame_; }
    std::optional<Clock::time_point> fullFrame() const { return fullFrame_; }

    // The scan, as the source-folder button runs it.
    void scan(const std::string& folder)
    {
        panel_.answer = FileURL::fileURLWithPath(folder);
        window_.controller().sourceFolderButton(nullptr);
    }

    // The Right arrow, delivered as a key press to the focused widget so it
    // goes through the window's shortcut like a real key.
    void pressNext()
    {
        const auto before = window_.controller().currentImageItem();
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window_;
        QTest::keyClick(target, Qt::Key_Right);
        if (window_.controller().currentImageItem() == before) {
            if (!warnedKey_)
                note("the Right key did not step; falling back to the Next button's action");
            warnedKey_ = true;
            window_.controller().nextImageButton(nullptr);
        }
    }

    const std::vector<FileURL>& files() { return window_.controller().imageURLs(); }

private:
    PanelStub panel_;
    AlertStub alert_;
    QuietOutput output_;
    shoebox::MainWindow window_;
    shoebox::ImageViewWidget* view_ = nullptr;
    std::optional<FileURL> awaited_;
    std::optional<Clock::time_point> firstFrame_, fullFrame_;
    bool warnedKey_ = false;
};

const QSize kWindowSize(1600, 1000);

// Child: shows the window, scans `folder` and steps through all its files,
// each until painted and its neighbours decoded; prints VmHWM in kB. With
// count 0 the window only stands idle.
int childRss(int argc, char** argv, int count, const std::string& folder)
{
    QApplication app(argc, argv);
    Harness h(kWindowSize);
    if (count == 0) {
        spin(1000);
    } else {
        h.scan(folder);
        const auto files = h.files();
        for (int i = 0; i < int(files.size()); ++i) {
            h.await(files[size_t(i)]);
            if (i > 0)
                h.pressNext();
            if (!h.waitForFull())
                note("child: %s never painted", files[size_t(i)].path().c_str());
            h.waitIdle();
        }
        spin(300);
        note("after %d photos the view's cache holds %.1f MB of %.1f MB", count, h.view().cacheBytes() / 1048576.0,
             h.view().cacheLimit() / 1048576.0);
    }
    std::printf("%ld\n", vmHighWaterKB());
    std::fflush(stdout);
    _exit(0); // the figure is out; teardown is not measured
}

// Runs this program (or the minimal window) as a child and parses the one
// number it prints.
double childNumber(std::vector<std::string> args)
{
    std::string out;
    if (std::isnan(runTimed(args, &out)) || out.empty())
        return NAN;
    return std::atof(out.c_str());
}

// ---- the benchmark ----

struct Data {
    std::string root, shm;
    std::vector<Photo> step;     // 31 x 24 MP, every fifth with EXIF orientation 6
    std::vector<Photo> photos12; // 3 x 12 MP, all with EXIF orientation 6
    std::string heic;            // empty when no HEVC encoder exists
};

void benchWindow(const Data& data)
{
    Harness h(kWindowSize);
    const QSize box = h.viewPixels();
    note("window %dx%d, image view %dx%d device pixels", kWindowSize.width(), kWindowSize.height(), box.width(),
         box.height());

    // 1. Stepping with prefetch: Right every 300 ms, key press to painted.
    const std::string stepFolder = data.root + "/step";
    h.scan(stepFolder);
    const auto files = h.files();
    h.await(files[0]);
    h.waitForFull();
    h.waitIdle();
    std::vector<double> latency, baseline;
    int notPrefetched = 0;
    for (size_t i = 1; i < files.size(); ++i) {
        spin(300);
        if (!h.view().isCached(files[i]))
            ++notPrefetched;
        h.await(files[i]);
        const auto t0 = Clock::now();
        h.pressNext();
        if (!h.waitForFull())
            note("%s never painted", files[i].path().c_str());
        latency.push_back(h.fullFrame() ? msBetween(t0, *h.fullFrame()) : NAN);
    }
    h.waitIdle();
    note("%d of %zu steps found their photo not yet decoded", notPrefetched, files.size() - 1);
    for (size_t i = 1; i < data.step.size(); ++i) {
        std::vector<double> runs;
        for (int r = 0; r < 3; ++r)
            runs.push_back(turboJpegMs(data.step[i], box));
        baseline.push_back(median(runs));
    }
    report("next_prefetched_ms_p50", percentile(latency, 50), percentile(baseline, 50), "ms");
    report("next_prefetched_ms_p95", percentile(latency, 95), percentile(baseline, 95), "ms");

    // 2. Cold: a scan of a folder whose photo no cache has seen, from the
    // scan call to the full picture painted. Each folder holds a new name
    // (a hard link), so the view's cache, keyed by path, misses.
    auto cold = [&](const std::vector<Photo>& photos, const char* extension, int firstNumber,
                    std::vector<double>* thumbnailMs) {
        std::vector<double> times;
        for (size_t i = 0; i < photos.size(); ++i) {
            const std::string folder = data.root + "/cold-" + std::to_string(firstNumber + int(i));
            makeFolder(folder);
            const std::string path = folder + "/" + cameraName(firstNumber + int(i), extension);
            hardLink(photos[i].path, path);
            h.waitIdle();
            spin(100);
            h.await(FileURL::fileURLWithPath(path));
            const auto t0 = Clock::now();
            h.scan(folder);
            if (!h.waitForFull())
                note("%s never painted", path.c_str());
            times.push_back(h.fullFrame() ? msBetween(t0, *h.fullFrame()) : NAN);
            if (thumbnailMs)
                thumbnailMs->push_back(h.firstFrame() ? msBetween(t0, *h.firstFrame()) : NAN);
        }
        return times;
    };
    std::vector<Photo> cold24;
    for (const Photo& p : data.step)
        if (!p.rotated90 && cold24.size() < 5)
            cold24.push_back(p);
    {
        const auto times = cold(cold24, "JPG", 5001, nullptr);
        h.waitIdle();
        std::vector<double> base;
        for (const Photo& p : cold24)
            base.push_back(turboJpegMs(p, box));
        report("next_cold_ms", median(times), median(base), "ms");
    }
    {
        const auto times = cold(data.photos12, "JPG", 6001, nullptr);
        h.waitIdle();
        std::vector<double> base;
        for (const Photo& p : data.photos12)
            base.push_back(turboJpegMs(p, box));
        report("next_cold_12mp_exif6_ms", median(times), median(base), "ms");
    }
    if (data.heic.empty()) {
        reportNA("heic_cold_ms", "no HEVC encoder");
        reportNA("heic_thumbnail_ms", "no HEVC encoder");
    } else {
        const Photo heic{data.heic, 4000, 3000, false};
        std::vector<double> thumbs;
        const auto times = cold({heic, heic, heic}, "HEIC", 7001, &thumbs);
        h.waitIdle();
        std::vector<double> full, thumb;
        for (int r = 0; r < 3; ++r) {
            full.push_back(libheifMs(data.heic, false));
            thumb.push_back(libheifMs(data.heic, true));
        }
        report("heic_cold_ms", median(times), median(full), "ms");
        report("heic_thumbnail_ms", median(thumbs), median(thumb), "ms");
    }
}

void benchScan(const Data& data, bool quick)
{
    auto one = [&](const char* name, int count) {
        const std::string folder = data.root + "/scan-" + std::to_string(count);
        const auto t0 = Clock::now();
        // Typically 30-70 s for a million on ext4, but several times that
        // while the disk is busy; past four minutes the figure is dropped.
        if (!makeFiles(folder, count, 0, 240)) {
            note("gave up making %d empty files after %.1f s", count, msBetween(t0, Clock::now()) / 1000);
            reportNA(name, "making the files took over 4 minutes");
            return;
        }
        note("made %d empty files in %.1f s", count, msBetween(t0, Clock::now()) / 1000);
        auto scanMs = [&] {
            const auto t = Clock::now();
            auto entries = shoebox::LinuxFileManager().contentsOfDirectory(FileURL::fileURLWithPath(folder));
            const double ms = msBetween(t, Clock::now());
            if (!entries || int(entries->size()) != count)
                note("scan of %s found %zu entries", folder.c_str(), entries ? entries->size() : 0);
            return ms; // the list is freed after the clock stops
        };
        auto lsMs = [&] { return runTimed({"ls", "-f", folder}); };
        scanMs(); // warm the dentry and inode caches for both
        lsMs();
        std::vector<double> scans, lists;
        for (int r = 0; r < 3; ++r) {
            scans.push_back(scanMs());
            lists.push_back(lsMs());
        }
        report(name, median(scans), median(lists), "ms");
    };
    // The folders stay until the end of the run: ext4 skips inodes freed in
    // the last minutes when it allocates new ones, so creating files right
    // after deleting a million costs several times as much (seen in
    // perf as recently_deleted() in the inode allocator).
    one("scan_100k_ms", 100'000);
    if (quick)
        reportNA("scan_1m_ms", "skipped by --quick");
    else
        one("scan_1m_ms", 1'000'000);
}

// Runs the two rounds of a comparison in turn, the other one first on odd
// rounds, so that neither always gets the warmer caches.
template <typename A, typename B>
void inTurn(int round, A&& first, B&& second)
{
    if (round % 2) {
        second();
        first();
    } else {
        first();
        second();
    }
}

void benchMoves(const Data& data)
{
    // 1,000 small files, renamed within one tree on /tmp. Three rounds with
    // fresh files, the order alternating; medians.
    std::vector<double> moves, raws;
    for (int round = 0; round < 3; ++round) {
        const std::string base = data.root + "/move-" + std::to_string(round);
        for (const char* set : {"/app", "/raw"}) {
            makeFiles(base + set + "/from", 1000, 2048);
            makeFolder(base + set + "/to");
        }
        auto appRound = [&] {
            const auto t = Clock::now();
            for (int i = 1; i <= 1000; ++i) {
                const std::string name = cameraName(i);
                if (!shoebox::moveItemNoReplace(base + "/app/from/" + name, base + "/app/to/" + name))
                    note("move of %s failed", name.c_str());
            }
            moves.push_back(msBetween(t, Clock::now()));
        };
        auto rawRound = [&] {
            const auto t = Clock::now();
            for (int i = 1; i <= 1000; ++i) {
                const std::string name = cameraName(i);
                const std::string from = base + "/raw/from/" + name, to = base + "/raw/to/" + name;
                if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
                    note("renameat2 of %s failed", name.c_str());
            }
            raws.push_back(msBetween(t, Clock::now()));
        };
        inTurn(round, appRound, rawRound);
        std::filesystem::remove_all(base);
    }
    report("move_1000_same_fs_ms", median(moves), median(raws), "ms");

    // 200 MB from /tmp to /dev/shm, against coreutils mv; each file is
    // written right before its move, the same way.
    struct stat a {
    }, b{};
    ::stat(data.root.c_str(), &a);
    ::stat(data.shm.c_str(), &b);
    if (a.st_dev == b.st_dev) {
        reportNA("move_200mb_cross_fs_ms", "same filesystem");
        return;
    }
    auto makeBig = [](const std::string& path) {
        std::vector<unsigned char> block(1 << 20);
        Rng rng{0xC0FFEE};
        for (size_t i = 0; i < block.size(); i += 8) {
            const std::uint64_t v = rng.next();
            std::memcpy(&block[i], &v, 8);
        }
        const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
        for (int mb = 0; mb < 200; ++mb) {
            std::memcpy(block.data(), &mb, sizeof mb); // no two blocks alike
            writeAll(fd, block.data(), block.size());
        }
        ::close(fd);
    };
    std::vector<double> app, mv;
    makeFolder(data.root + "/cross");
    for (int round = 0; round < 3; ++round) {
        const std::string src = data.root + "/cross/IMG_0001.MOV", dst = data.shm + "/IMG_0001.MOV";
        auto appRound = [&] {
            makeBig(src);
            const auto t = Clock::now();
            if (!shoebox::moveItemNoReplace(src, dst))
                note("cross-filesystem move failed");
            app.push_back(msBetween(t, Clock::now()));
            ::unlink(dst.c_str());
        };
        auto mvRound = [&] {
            makeBig(src);
            mv.push_back(runTimed({"mv", src, dst}));
            ::unlink(dst.c_str());
        };
        inTurn(round, appRound, mvRound);
    }
    report("move_200mb_cross_fs_ms", median(app), median(mv), "ms");
}

void benchMemory(const Data& data)
{
    // 200 names over 20 distinct photos: hard links, one per name. The view
    // keys its cache by path (and the file's stamp), so each name is a new
    // entry and a new decode, exactly as 200 distinct files would be; links
    // share one inode and so one mtime, which the path makes irrelevant.
    auto folderOf = [&](int count) {
        const std::string folder = data.root + "/rss-" + std::to_string(count);
        makeFolder(folder);
        for (int i = 0; i < count; ++i)
            hardLink(data.step[size_t(i % 20)].path, folder + "/" + cameraName(i + 1));
        return folder;
    };
    const std::string self = selfPath();
    auto peakMB = [&](int count, const std::string& folder) {
        return childNumber({self, "--child-rss", std::to_string(count), folder}) / 1024.0;
    };
    const double idle = peakMB(0, "");
    const double twenty = peakMB(20, folderOf(20));
    const double twoHundred = peakMB(200, folderOf(200));
    report("peak_rss_mb_200", twoHundred, twenty, "MB");
    report("peak_rss_mb_20", twenty, idle, "MB");
}

void benchWindowShown()
{
    const std::string self = selfPath();
    const auto folder = std::filesystem::path(self).parent_path();
    const std::string window = folder / "shoebox_bench_window";
    const std::string minimal = folder / "shoebox_bench_minimal_window";
    std::vector<double> app, bare;
    for (int r = 0; r < 9; ++r) {
        app.push_back(childNumber({window, std::to_string(monotonicNs())}));
        bare.push_back(childNumber({minimal, std::to_string(monotonicNs())}));
    }
    report("window_shown_ms", median(app), median(bare), "ms");
}

Data makeData()
{
    Data data;
    char root[] = "/tmp/shoebox-bench-XXXXXX";
    char shm[] = "/dev/shm/shoebox-bench-XXXXXX";
    if (!mkdtemp(root) || !mkdtemp(shm))
        die("mkdtemp");
    data.root = root;
    data.shm = shm;

    const auto t0 = Clock::now();
    makeFolder(data.root + "/step");
    for (int i = 0; i < 31; ++i)
        data.step.push_back({data.root + "/step/" + cameraName(i + 1), 6000, 4000, i % 5 == 4});
    makeFolder(data.root + "/photos12");
    for (int i = 0; i < 3; ++i)
        data.photos12.push_back({data.root + "/photos12/" + cameraName(i + 1), 4000, 3000, true});
    std::vector<Photo> all = data.step;
    all.insert(all.end(), data.photos12.begin(), data.photos12.end());
    writeJpegs(all, 1);
    struct stat st {};
    ::stat(data.step[0].path.c_str(), &st);
    note("made %zu JPEGs in %.1f s (a 24 MP one is %.1f MB)", all.size(), msBetween(t0, Clock::now()) / 1000,
         double(st.st_size) / 1e6);

    heif_init(nullptr);
    if (heif_have_encoder_for_format(heif_compression_HEVC)) {
        const auto t1 = Clock::now();
        makeFolder(data.root + "/heic");
        data.heic = data.root + "/heic/" + cameraName(1, "HEIC");
        if (!writeHeic(data.heic, 4000, 3000, 99)) {
            note("HEIC encoding failed");
            data.heic.clear();
        } else {
            ::stat(data.heic.c_str(), &st);
            note("made a 12 MP HEIC in %.1f s (%.1f MB)", msBetween(t1, Clock::now()) / 1000, double(st.st_size) / 1e6);
        }
    } else {
        note("libheif has no HEVC encoder");
    }
    return data;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // children inherit it
    quietQtMessages();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--child-rss")
        return childRss(argc, argv, std::atoi(args[1].c_str()), args.size() > 2 ? args[2] : "");
    const bool quick = std::find(args.begin(), args.end(), "--quick") != args.end();
    const bool keep = std::find(args.begin(), args.end(), "--keep-data") != args.end();

    const auto start = Clock::now();
    auto section = [lap = start](const char* name) mutable {
        const auto now = Clock::now();
        note("%s took %.1f s", name, msBetween(lap, now) / 1000);
        lap = now;
    };
    const Data data = makeData();
    section("making the pictures");
    {
        QApplication app(argc, argv);
        benchWindow(data);
    }
    section("the window figures");
    benchScan(data, quick);
    section("the scans");
    benchMoves(data);
    section("the moves");
    benchMemory(data);
    section("the memory figures");
    benchWindowShown();
    section("the start-up figure");

    const auto t = Clock::now();
    for (const char* folder : {"/scan-100000", "/scan-1000000"})
        std::filesystem::remove_all(data.root + folder);
    note("removing the empty files took %.1f s", msBetween(t, Clock::now()) / 1000);
    if (keep) {
        note("data kept in %s and %s", data.root.c_str(), data.shm.c_str());
    } else {
        std::filesystem::remove_all(data.root);
        std::filesystem::remove_all(data.shm);
    }
    note("total %.1f s", msBetween(start, Clock::now()) / 1000);
    return 0;
}
