#include "app/FullScreenLayout.h"

#include <QEvent>

#include <algorithm>

#include "ui_MainWindow.h"

namespace shoebox {

FullScreenLayout::FullScreenLayout(Ui::MainWindow& ui, QObject* parent) : QObject(parent), ui_(ui) {}

// Bottom first: the info line sits on top of the sorting panel.
std::vector<QWidget*> FullScreenLayout::overlays() const
{
    return {ui_.sortingPanel, ui_.photoInfoLabel};
}

void FullScreenLayout::setActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    QBoxLayout& layout = *ui_.mainLayout;
    const std::vector<QWidget*> over = overlays();
    if (active) {
        for (QWidget* widget : std::initializer_list<QWidget*>{
                 ui_.menubar, ui_.statusbar, ui_.sourceFolderButton, ui_.sourceFolderLabel, ui_.destinationFolderButton,
                 ui_.destinationFolderLabel, ui_.currentFilePathLabel, ui_.prePhotoButton, ui_.progressBar,
                 ui_.progressTextField, ui_.nextPhotoButton, ui_.newFileNamePreviewField}) {
            if (!widget->isHidden()) {
                widget->hide();
                hidden_.push_back(widget);
            }
        }
        layoutIndex_.clear();
        for (QWidget* widget : over)
            layoutIndex_.push_back(layout.indexOf(widget));
        for (QWidget* widget : over)
            layout.removeWidget(widget);
        margins_ = layout.contentsMargins();
        spacing_ = layout.spacing();
        layout.setContentsMargins({});
        layout.setSpacing(0);
        panelMargins_ = ui_.commandGrid->contentsMargins();
        ui_.commandGrid->setContentsMargins(12, 8, 12, 8);
        palette_ = ui_.sortingPanel->palette();
        QPalette band = palette_;
        band.setColor(QPalette::Window, QColor(0, 0, 0, 210)); // the picture shows through, the text stays legible
        band.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
        for (QWidget* widget : over) {
            widget->setPalette(band);
            widget->setAutoFillBackground(true);
            widget->raise();
        }
        // Placed again when the window's size changes or the info line
        // comes or goes.
        ui_.centralwidget->installEventFilter(this);
        ui_.photoInfoLabel->installEventFilter(this);
        place();
        return;
    }
    ui_.centralwidget->removeEventFilter(this);
    ui_.photoInfoLabel->removeEventFilter(this);
    for (QWidget* widget : over) {
        widget->setPalette(palette_);
        widget->setAutoFillBackground(false);
    }
    ui_.commandGrid->setContentsMargins(panelMargins_);
    layout.setContentsMargins(margins_);
    layout.setSpacing(spacing_);
    // In the order they stood, so that each index means what it meant.
    std::vector<std::pair<int, QWidget*>> back;
    for (std::size_t i = 0; i < over.size(); ++i)
        back.emplace_back(layoutIndex_[i], over[i]);
    std::sort(back.begin(), back.end());
    for (auto [index, widget] : back)
        layout.insertWidget(index, widget);
    for (QWidget* widget : hidden_)
        widget->show();
    hidden_.clear();
}

bool FullScreenLayout::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((watched == ui_.centralwidget && type == QEvent::Resize) || type == QEvent::Show || type == QEvent::Hide)
        place();
    return QObject::eventFilter(watched, event);
}

// Stacked up from the bottom edge, across the whole width.
void FullScreenLayout::place()
{
    const QRect area = ui_.centralwidget->rect();
    int bottom = area.bottom() + 1;
    for (QWidget* widget : overlays()) {
        if (widget->isHidden())
            continue;
        const int height = widget->sizeHint().height() + (widget == ui_.photoInfoLabel ? 8 : 0);
        widget->setGeometry(area.left(), bottom - height, area.width(), height);
        bottom -= height;
    }
}

} // namespace shoebox
