#include "bench/Data.h"

#include <libheif/heif.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/Measure.h"
#include "tests/support/Environment.h"

namespace shoebox::bench {

namespace {

constexpr int distinctPhotos24 = 10;

double fileMB(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? double(st.st_size) / 1e6 : 0;
}

// A copy of the JPEG at `from` without the EXIF segment that follows its
// start marker (as writeJpegs puts it there).
void withoutExif(const std::string& from, const std::string& to)
{
    const std::string bytes = shoebox::testing::readFile(from);
    if (bytes.size() < 6 || std::uint8_t(bytes[2]) != 0xFF || std::uint8_t(bytes[3]) != 0xE1)
        die("no EXIF segment at the start of " + from);
    const std::size_t length = std::size_t(std::uint8_t(bytes[4])) << 8 | std::uint8_t(bytes[5]);
    shoebox::testing::writeFile(to, bytes.substr(0, 2) + bytes.substr(4 + length));
}

} // namespace

std::string cameraName(int n, const char* extension)
{
    char name[64];
    std::snprintf(name, sizeof name, "IMG_%04d.%s", n, extension);
    return name;
}

bool makeFiles(const std::string& folder, int count, size_t bytes, double budgetSeconds)
{
    std::filesystem::create_directories(folder);
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

Data::Data() : root_("/tmp")
{
    if (auto other = shoebox::testing::folderOnAnotherFilesystem(root()))
        other_.emplace(*other);

    const auto t0 = Clock::now();
    const std::string photos = newFolder("photos");
    for (int i = 0; i < distinctPhotos24; ++i)
        photos24.push_back({photos + "/" + cameraName(i + 1), 6000, 4000, i % 5 == 4});
    for (int i = 0; i < 3; ++i)
        photos12.push_back({photos + "/" + cameraName(101 + i), 4000, 3000, true});
    std::vector<Photo> all = photos24;
    all.insert(all.end(), photos12.begin(), photos12.end());
    writeJpegs(all, 1);
    for (const Photo& photo : photos24) {
        Photo bare{photo.path.substr(0, photo.path.size() - 4) + "-bare.JPG", photo.width, photo.height, false};
        withoutExif(photo.path, bare.path);
        photos24bare.push_back(bare);
    }
    note("made %zu JPEGs in %.1f s (a 24 MP one is %.1f MB)", all.size(), msBetween(t0, Clock::now()) / 1000,
         fileMB(photos24[0].path));

    heif_init(nullptr);
    if (heif_have_encoder_for_format(heif_compression_HEVC)) {
        const auto t1 = Clock::now();
        heic = photos + "/" + cameraName(201, "HEIC");
        if (writeHeic(heic, 4000, 3000, 99)) {
            note("made a 12 MP HEIC in %.1f s (%.1f MB)", msBetween(t1, Clock::now()) / 1000, fileMB(heic));
        } else {
            note("HEIC encoding failed");
            heic.clear();
        }
    } else {
        note("libheif has no HEVC encoder");
    }

    video = photos + "/" + cameraName(301, "MP4");
    if (writeVideo(video)) {
        note("made a 2 s 1080p MP4 (%.1f MB)", fileMB(video));
    } else {
        note("could not make the video: gst-launch-1.0 (gstreamer1.0-tools) or its encoders are missing");
        video.clear();
    }
}

std::optional<std::string> Data::otherFilesystem() const
{
    return other_ ? std::optional<std::string>(other_->path()) : std::nullopt;
}

void Data::keep()
{
    root_.keep();
    if (other_)
        other_->keep();
    note("data kept in %s%s%s", root().c_str(), other_ ? " and " : "", other_ ? other_->path().c_str() : "");
}

std::string Data::newFolder(const std::string& prefix) const
{
    const std::string folder = root() + "/" + prefix + "-" + std::to_string(++folders_);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string Data::linkedFolder(const std::string& prefix, int count, const std::vector<Photo>& photos,
                               const char* extension) const
{
    const std::string folder = newFolder(prefix);
    for (int i = 0; i < count; ++i) {
        const std::string& from = photos[size_t(i) % photos.size()].path;
        const std::string to = folder + "/" + cameraName(i + 1, extension);
        if (::link(from.c_str(), to.c_str()) != 0)
            die("link " + to + ": " + std::strerror(errno));
    }
    return folder;
}

} // namespace shoebox::bench
