#pragma once

// The benchmark's sections, one per file, each printing its figures.

#include "bench/Data.h"
#include "bench/Measure.h"

namespace shoebox::bench {

struct Options {
    bool quick = false; // skips the figure that needs a million files
    int pairs = 7;      // app and baseline rounds per figure, taken in turn
};

// PictureFigures.cpp: stepping onto a decoded-ahead photo, and the first
// photo of a folder no cache has seen (JPEG 24 and 12 MP, HEIC).
void pictureFigures(const Data& data, const Options& options, Report& report);
// HeldKey.cpp: Alt+Right held down at 30 presses a second.
void heldKeyFigures(const Data& data, const Options& options, Report& report);
// VideoFigure.cpp: stepping onto a video, to its first frame.
void videoFigures(const Data& data, const Options& options, Report& report);
// The child process the cold video figure runs: "window" steps onto the
// video in FOLDER, "player" plays FILE alone; either prints milliseconds.
int videoChild(int argc, char** argv, const std::string& mode, const std::string& path);
// FileFigures.cpp: scanning big folders, moving files.
void scanFigures(const Data& data, const Options& options, Report& report);
void moveFigures(const Data& data, const Options& options, Report& report);
// The folders of empty files last the whole run (repeats reuse them).
void removeScanFolders();
// ListingFigures.cpp: the window choosing a folder of a million files (its
// first a photo), on the disk and through a slow file system: its longest
// stall meanwhile, and the time to its first picture.
void listingFigures(const Data& data, const Options& options, Report& report, const std::string& folder);
// MemoryFigures.cpp: peak memory while stepping through many photos.
void memoryFigures(const Data& data, const Options& options, Report& report);
// The child process the memory figures run, in a process of its own.
int memoryChild(int argc, char** argv, const std::string& folder);
// StartupFigures.cpp: window shown, first picture painted.
void startupFigures(const Data& data, const Options& options, Report& report);

} // namespace shoebox::bench
