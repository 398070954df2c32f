#pragma once

#include <QLabel>

namespace shoebox {

// A one-line label that elides the middle of a text too long for it (a deep
// path keeps its file name in view) and shows the whole text as its tooltip.
// Screen readers get the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace shoebox
