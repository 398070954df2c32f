#pragma once

#include <memory>

class QApplication;

namespace shoebox {

class Translations;

// The application object, on the display. Where Qt cannot open one (no
// display, a display that refuses the connection, no platform plugin), it
// would abort; instead this prints one line saying which display it could
// not open, "shoebox: cannot open the display (DISPLAY=:1)", and ends the
// process with status 1. Messages Qt gives while it starts are passed on
// once it has.
std::unique_ptr<QApplication> openDisplay(int& argc, char** argv, const Translations& translations);

} // namespace shoebox
