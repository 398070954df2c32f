// The window's viewing commands and what follows them: zoom and panning,
// the info line, full screen (and Escape, which leaves it), and the recent
// destinations of the Go menu. The rest of the window is in MainWindow.cpp.

#include "app/MainWindow.h"

#include <QApplication>
#include <QDialog>

#include <algorithm>
#include <utility>

#include "ui_MainWindow.h"
#include "viewer/PhotoInfo.h"

namespace shoebox {

void MainWindow::connectViewCommands()
{
    ImageViewWidget* view = ui_->imageViewer;
    connect(ui_->actionZoomActual, &QAction::triggered, view, &ImageViewWidget::toggleActualSize);
    connect(ui_->actionZoomIn, &QAction::triggered, view, &ImageViewWidget::zoomIn);
    connect(ui_->actionZoomOut, &QAction::triggered, view, &ImageViewWidget::zoomOut);
    // Ctrl+arrows pan only while zoomed: otherwise they are the text
    // boxes' own (a word left or right).
    const std::pair<QAction*, QPoint> pans[] = {{ui_->actionPanLeft, {-1, 0}},
                                                {ui_->actionPanRight, {1, 0}},
                                                {ui_->actionPanUp, {0, -1}},
                                                {ui_->actionPanDown, {0, 1}}};
    for (auto [action, step] : pans) {
        action->setEnabled(false);
        connect(action, &QAction::triggered, view, [view, step] { view->pan(step.x(), step.y()); });
        connect(view, &ImageViewWidget::zoomChanged, action, [view, action] { action->setEnabled(view->zoom() > 0); });
    }

    connect(ui_->actionPhotoInfo, &QAction::toggled, ui_->photoInfoLabel, &QWidget::setVisible);
    connect(ui_->imageViewer, &ImageViewWidget::infoChanged, this, &MainWindow::showPhotoInfo);
    connect(ui_->actionFullScreen, &QAction::triggered, this,
            [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); });
    ui_->actionLeaveFullScreen->setEnabled(false);
    connect(ui_->actionLeaveFullScreen, &QAction::triggered, this, [this] {
        // While a dialog is open, Escape is the dialog's.
        const QList<QDialog*> dialogs = findChildren<QDialog*>();
        if (QApplication::activeModalWidget() ||
            std::any_of(dialogs.begin(), dialogs.end(), [](const QDialog* d) { return d->isVisible(); }))
            return;
        setWindowState(windowState() & ~Qt::WindowFullScreen);
    });
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // Whoever asked for it: F11, the window manager, or restoreGeometry.
    const bool full = isFullScreen();
    fullScreen_->setActive(full);
    ui_->actionFullScreen->setChecked(full);
    enableEscape();
}

// Escape has two rows in the key table; at most one of their actions is
// enabled at a time, so Qt never sees it as ambiguous (and does nothing).
// A move under way takes it first: leaving full screen can wait, a long
// copy the user wants to stop cannot.
void MainWindow::enableEscape()
{
    ui_->actionLeaveFullScreen->setEnabled(isFullScreen() && !moves_->isMoving());
}

void MainWindow::showPhotoInfo()
{
    const std::optional<imaging::PhotoInfo>& info = ui_->imageViewer->currentInfo();
    ui_->photoInfoLabel->setText(info ? imaging::infoLine(*info) : QString());
    completion().setDateTaken(info && info->taken ? std::optional(info->taken->date) : std::nullopt);
}

void MainWindow::makeRecentDestinationItems()
{
    for (std::size_t rank = 1; rank <= RecentDestinations::limit; ++rank) {
        auto* item = new QAction(this);
        item->setObjectName(QStringLiteral("actionRecentDestination%1").arg(rank));
        ui_->menuRecentDestinations->addAction(item);
        recentItems_.push_back(item);
    }
    noRecentItem_ = ui_->menuRecentDestinations->addAction(tr("No moves yet"));
    noRecentItem_->setEnabled(false);
    showRecentDestinations();
}

void MainWindow::showRecentDestinations()
{
    const std::vector<SubfolderPair>& pairs = controller_->recentDestinations().pairs();
    for (std::size_t rank = 0; rank < recentItems_.size(); ++rank) {
        QAction* item = recentItems_[rank];
        // An item out of sight keeps its key from working too. It keeps a
        // name for screen readers, which list the window's actions.
        item->setVisible(rank < pairs.size());
        if (rank >= pairs.size()) {
            item->setText(tr("Recent destination %1").arg(rank + 1));
            continue;
        }
        const SubfolderPair& pair = pairs[rank];
        QString text = pair.levelOne.empty() && pair.levelTwo.empty() ? tr("No subfolders")
                       : pair.levelOne.empty()                        ? tr("(none)")
                                                                      : toQString(pair.levelOne);
        if (!pair.levelTwo.empty())
            text += QStringLiteral(" / ") + toQString(pair.levelTwo);
        item->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
    }
    noRecentItem_->setVisible(pairs.empty());
}

void MainWindow::rememberRecentDestinations()
{
    const std::vector<SubfolderPair>& pairs = controller_->recentDestinations().pairs();
    showRecentDestinations();
    if (pairs == settings_.recentDestinations())
        return; // sent where the last one went: nothing new to write
    if (auto saved = settings_.rememberRecentDestinations(pairs); !saved)
        qWarning("%s", saved.error().description.c_str());
}

} // namespace shoebox
