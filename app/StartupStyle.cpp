#include "app/StartupStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>

namespace shoebox {

namespace {

// Stands for one of a style's standard icons and asks the style for it the
// first time the icon is drawn or measured.
class DeferredIconEngine final : public QIconEngine {
public:
    DeferredIconEngine(const QStyle* style, QStyle::StandardPixmap which) : style_(style), which_(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QIconEngine* clone() const override { return new DeferredIconEngine(style_, which_); }

private:
    const QIcon& icon()
    {
        if (loaded_.isNull() && style_)
            loaded_ = style_->standardIcon(which_);
        return loaded_;
    }

    QPointer<const QStyle> style_;
    QStyle::StandardPixmap which_;
    QIcon loaded_;
};

} // namespace

QIcon StartupStyle::standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const
{
    if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
        return QIcon(new DeferredIconEngine(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

} // namespace shoebox
