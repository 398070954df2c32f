#pragma once

// The benchmark's own pictures and video, made so that they compress and
// decode like a camera's: a photograph-like mix of gradients, shapes,
// texture and sensor noise; an EXIF block with the orientation and a
// 160-pixel preview.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shoebox::bench {

struct Photo {
    std::string path;
    int width = 0, height = 0;
    bool rotated90 = false; // EXIF orientation 6: shown upright as height x width
};

// Writes the JPEGs at quality 92 (a 24 MP one is about 7 MB), on both cores.
void writeJpegs(const std::vector<Photo>& photos, std::uint64_t seedBase);
// An HEIC with a 320-pixel thumbnail, as phones store them; false when
// libheif cannot encode HEVC.
bool writeHeic(const std::string& path, int w, int h, std::uint64_t seed);
// A two-second 1080p H.264 MP4 made with gst-launch-1.0; false without it.
bool writeVideo(const std::string& path);

void writeAll(int fd, const void* data, std::size_t size);

} // namespace shoebox::bench
