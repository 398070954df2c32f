#pragma once

#include <QMargins>
#include <QObject>
#include <QPalette>

#include <vector>

namespace Ui {
class MainWindow;
}

namespace shoebox {

// The window's arrangement in full screen: the picture fills the screen,
// and the sorting panel (the subfolder boxes, the rename type, the name
// field with Move and Move to Trash, the preview line, and the info line
// when it is on) lies over its bottom edge on a dark band, so the whole
// sort goes on with every key, the buttons' Alt keys included (a hidden
// button takes its Alt key along). The rest of the window (menus, folders,
// stepping, status) hides until full screen ends. Nothing is reparented,
// so the focus stays where it was.
class FullScreenLayout final : public QObject {
public:
    FullScreenLayout(Ui::MainWindow& ui, QObject* parent);

    void setActive(bool active);
    bool isActive() const { return active_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<QWidget*> overlays() const;
    void place();

    Ui::MainWindow& ui_;
    bool active_ = false;
    std::vector<QWidget*> hidden_; // what full screen hid, to show again
    std::vector<int> layoutIndex_; // where each overlay stood in the window's layout
    QMargins margins_, panelMargins_;
    int spacing_ = 0;
    QPalette palette_;
};

} // namespace shoebox
