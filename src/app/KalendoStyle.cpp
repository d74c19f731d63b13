#include "app/KalendoStyle.h"

#include "widgets/DeferredIcon.h"

#include <QPointer>
#include <QWidget>

int KalendoStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const {
    if (hint == SH_MenuBar_AltKeyNavigation)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

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
