#pragma once

// The real sorting window, shown, with stand-ins only for the folder panel,
// the alert and the console. It records every frame the image view paints,
// so a figure can ask when a file first showed, and when sharply.

#include <QSize>

#include <optional>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "bench/Measure.h"
#include "platform/FileURL.h"
#include "tests/support/Doubles.h"

namespace shoebox {
class ImageViewWidget;
}

namespace shoebox::bench {

// The window size every window figure uses.
inline const QSize windowSize(1600, 1000);

class Harness {
public:
    struct Paint {
        Clock::time_point at;
        FileURL url;
        bool full = false; // the full picture, not an embedded preview or a scaled stand-in
    };

    Harness();

    ImageViewWidget& view() { return *view_; }
    // The view's size in device pixels: the box pictures are decoded for.
    QSize viewPixels() const;

    // Chooses `folder` as the source, the way the folder panel's answer does,
    // and returns at once: the listing runs on.
    void choose(const std::string& folder);
    bool listing() { return window_.controller().isListing(); }
    // Switches the option to move companions together, as the menu item
    // does; switched on, its companions are then found as a listing's are.
    void moveCompanionsTogether(bool on) { window_.controller().setMoveCompanionsTogether(on); }
    // Chooses `folder` as the source and runs the event loop until its
    // listing has ended.
    void scan(const std::string& folder);
    const std::vector<FileURL>& files();
    // Scans `folder`, then runs the event loop until its first file is
    // painted sharply and no decode is left; its files.
    std::vector<FileURL> open(const std::string& folder);

    // Alt+Right, as a key press delivered to the focused widget, so it goes
    // through the window's shortcut like a key on a keyboard. When it did
    // not step, notes so (once), runs the Next button's action instead and
    // returns false.
    bool pressNext();

    // Frames painted with a picture (or video frame) since the last clear.
    const std::vector<Paint>& paints() const { return paints_; }
    void clearPaints() { paints_.clear(); }
    std::optional<Clock::time_point> firstPaint(const FileURL& url, bool full) const;
    // Runs the event loop until `url` has been painted (fully, when asked).
    bool waitForPaint(const FileURL& url, bool full, int timeoutMs = 30000);
    // Runs the event loop until no decode is queued or running.
    void waitIdle();
    // Runs the event loop for `ms`.
    static void spin(int ms);

private:
    shoebox::testing::ScriptedOpenPanel panel_;
    shoebox::testing::RecordingAlert alert_;
    shoebox::testing::RecordingOutput output_;
    MainWindow window_;
    ImageViewWidget* view_ = nullptr;
    std::vector<Paint> paints_;
    bool warnedKey_ = false;
};

} // namespace shoebox::bench
