#pragma once

#include <QProxyStyle>

namespace kestra {

// The platform's own style, which draws everything. It differs in one thing
// no one sees: the menu bar's overflow arrow, which every menu bar asks for
// when it is built and which shows only when the window is too narrow for the
// menus, is read from the style's images when it is first drawn. Reading it
// at once cost a few per cent of start-up, most of it looking up the image
// readers.
class WindowStyle : public QProxyStyle {
public:
    [[nodiscard]] QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                                     const QWidget* widget) const override;
};

} // namespace kestra
