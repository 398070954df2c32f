#pragma once

// Per-stage timing of the image pipeline, for finding where a picture's
// time goes: with SHOEBOX_TRACE set in the environment, each stage of a
// file's way to the screen prints one line to stderr,
//
//   [trace] IMG_0001.JPG decoded +61.20 ms (total 63.02 ms)
//
// with the time since that file's previous stage and since it was asked
// for (begin). Without the variable every call is one test of a flag.
// Safe on any thread.

#include <string_view>

namespace shoebox::trace {

// Starts the clock for `path`: the view was asked to show or prepare it.
void begin(std::string_view path, std::string_view what);
// A stage of `path` ended now.
void stage(std::string_view path, std::string_view what);

} // namespace shoebox::trace
