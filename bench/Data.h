#pragma once

// What the benchmark works on, made at the start of a run under /tmp (and
// on a second filesystem for the move across filesystems) and removed at
// the end unless kept.

#include <optional>
#include <string>
#include <vector>

#include "bench/Pictures.h"
#include "tests/support/TempDir.h"

namespace shoebox::bench {

// IMG_0001.JPG, as cameras name their files.
std::string cameraName(int n, const char* extension = "JPG");

// `count` files named like a camera's, each `bytes` long (0: empty), made
// with open/close in a tight loop. Stops early (returning false) after
// `budgetSeconds`, so a slow disk cannot stretch the run without bound.
bool makeFiles(const std::string& folder, int count, size_t bytes, double budgetSeconds = 1e9);

class Data {
public:
    Data(); // makes the pictures, the HEIC and the video
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    const std::string& root() const { return root_.path(); }
    // A folder on another filesystem, when the machine has one.
    std::optional<std::string> otherFilesystem() const;
    void keep();

    // A new folder under the root whose name starts with `prefix`; no two
    // calls give the same one.
    std::string newFolder(const std::string& prefix) const;
    // A new folder holding `count` files IMG_0001.JPG, IMG_0002.JPG, ...,
    // hard links to `photos` in turn. New names are new files to the image
    // view, whose cache is keyed by path, while the bytes and so the cost of
    // decoding them stay those of the photos.
    std::string linkedFolder(const std::string& prefix, int count, const std::vector<Photo>& photos,
                             const char* extension = "JPG") const;

    std::vector<Photo> photos24;     // 6000x4000, distinct; every fifth is stored sideways (EXIF 6)
    std::vector<Photo> photos24bare; // the same without their EXIF block: no preview, stored as shown
    std::vector<Photo> photos12;     // 4000x3000, all stored sideways
    std::string heic;                // 4000x3000; empty when libheif has no HEVC encoder
    std::string video;               // 1080p MP4; empty without gst-launch-1.0

private:
    shoebox::testing::TempDir root_;
    std::optional<shoebox::testing::TempDir> other_;
    mutable int folders_ = 0;
};

} // namespace shoebox::bench
