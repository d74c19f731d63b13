#include "app/KalendoStyle.h"

#include "widgets/DeferredIcon.h"

#include <QPointer>
#include <QWidget>

QIcon KalendoStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (standardIcon != SP_ToolBarHorizontalExtensionButton &&
        standardIcon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // The option does not outlive this call; the widget is asked again if it is still there.
    const QPointer<const QWidget> owner = widget;
    const QPointer<const KalendoStyle> style = this;
    return DeferredIcon([style, owner, standardIcon] {
        return style ? style->QProxyStyle::standardIcon(standardIcon, nullptr, owner.data())
                     : QIcon();
    });
}
