#include "bench/Harness.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "tests/support/QtWait.h"
#include "viewer/ImageViewWidget.h"

namespace shoebox::bench {

// The offscreen platform exposes a shown window and paints it on update()
// like a real one, so no grab() or repaint() is needed to get a frame.
Harness::Harness() : window_(MainWindow::Overrides{.openPanel = &panel_, .alert = &alert_, .output = &output_})
{
    window_.resize(windowSize);
    window_.show();
    window_.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window_, 5000))
        note("window not exposed");
    if (!QTest::qWaitForWindowActive(&window_, 2000))
        note("window not active: shortcuts may not fire");
    view_ = window_.findChild<ImageViewWidget*>("imageViewer");
    if (!view_)
        die("no image view named imageViewer");
    QObject::connect(view_, &ImageViewWidget::framePainted, &window_, [this] {
        if (view_->currentImage().isNull())
            return; // a placeholder text
        const FileURL url = view_->currentURL();
        // Only the full picture goes into the cache; an embedded preview
        // shown first does not. (Its size tells nothing: the view fits a
        // preview to the same box as the full picture.)
        paints_.push_back({Clock::now(), url, view_->isCached(url)});
    });
}

QSize Harness::viewPixels() const
{
    return (QSizeF(view_->size()) * view_->devicePixelRatioF()).toSize();
}

void Harness::choose(const std::string& folder)
{
    panel_.chooseNext(FileURL::fileURLWithPath(folder));
    window_.controller().sourceFolderButton(nullptr);
}

void Harness::scan(const std::string& folder)
{
    choose(folder);
    if (!shoebox::testing::waitUntil([this] { return !listing(); }, 600000))
        note("the listing of %s did not end", folder.c_str());
    for (const auto& [message, informative] : alert_.shown)
        note("alert: %s %s", message.c_str(), informative.c_str());
    alert_.shown.clear();
}

const std::vector<FileURL>& Harness::files()
{
    return window_.controller().imageURLs();
}

std::vector<FileURL> Harness::open(const std::string& folder)
{
    scan(folder);
    std::vector<FileURL> opened = files();
    waitForPaint(opened.at(0), true);
    waitIdle();
    return opened;
}

bool Harness::pressNext()
{
    const auto before = window_.controller().currentImageItem();
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window_;
    QTest::keyClick(target, Qt::Key_Right, Qt::AltModifier);
    if (window_.controller().currentImageItem() != before)
        return true;
    if (!warnedKey_)
        note("Alt+Right did not step; falling back to the Next button's action");
    warnedKey_ = true;
    window_.controller().nextImageButton(nullptr);
    return false;
}

std::optional<Clock::time_point> Harness::firstPaint(const FileURL& url, bool full) const
{
    for (const Paint& p : paints_)
        if (p.url == url && (p.full || !full))
            return p.at;
    return std::nullopt;
}

bool Harness::waitForPaint(const FileURL& url, bool full, int timeoutMs)
{
    const bool painted = shoebox::testing::waitUntil([&] { return firstPaint(url, full).has_value(); }, timeoutMs);
    if (!painted)
        note("%s was not painted%s within %d ms", url.path().c_str(), full ? " sharply" : "", timeoutMs);
    return painted;
}

void Harness::waitIdle()
{
    shoebox::testing::waitUntil([this] { return view_->pendingDecodes() == 0; }, 60000);
}

void Harness::spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace shoebox::bench
