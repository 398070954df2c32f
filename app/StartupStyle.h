#pragma once

#include <QProxyStyle>

namespace shoebox {

// The application's own style: the platform's, except that the icon of a
// menu bar's or tool bar's overflow button is loaded only when it is first
// drawn.
//
// QMenuBar makes that button, and asks the style for its icon, in its
// constructor (Qt 6.4). Loading the icon's PNG makes QImageReader load
// every image format plugin to ask whether it reads the file: about a
// millisecond before the window's first paint, for a button that shows only
// when the menus do not fit the window.
class StartupStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

} // namespace shoebox
