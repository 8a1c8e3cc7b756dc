#include "app/WindowStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>

namespace kestra {
namespace {

// An icon that is made by `make` when it is first painted or measured, and
// then answers as that icon does.
class DeferredIconEngine : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make) : make_(std::move(make)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        // `size` is in device pixels here, the icon's own call takes it in
        // logical ones.
        return icon().pixmap(size / scale, scale, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }

    // The style's arrow is never a null icon; asking must not read it.
    bool isNull() override { return made_ && made_->isNull(); }

    [[nodiscard]] QString key() const override { return QStringLiteral("kestra.deferred"); }

    [[nodiscard]] QIconEngine* clone() const override { return new DeferredIconEngine(*this); }

private:
    const QIcon& icon()
    {
        if (!made_) {
            made_ = make_();
        }
        return *made_;
    }

    std::function<QIcon()> make_;
    std::optional<QIcon> made_;
};

} // namespace

QIcon WindowStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                const QWidget* widget) const
{
    if (icon != SP_ToolBarHorizontalExtensionButton || option != nullptr) {
        return QProxyStyle::standardIcon(icon, option, widget);
    }
    // The menu bar asks with itself as the widget; it or the style may be
    // gone before the arrow is first drawn, so both are guarded.
    return QIcon(new DeferredIconEngine([base = QPointer<QStyle>(baseStyle()),
                                         owner = QPointer<QWidget>(const_cast<QWidget*>(widget))] {
        return base ? base->standardIcon(SP_ToolBarHorizontalExtensionButton, nullptr, owner.data())
                    : QIcon();
    }));
}

} // namespace kestra
