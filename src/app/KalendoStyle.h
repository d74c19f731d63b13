#pragma once

#include <QProxyStyle>

// The desktop's style, with the toolbar extension icons made only when first drawn. The menu bar
// builds its overflow button, and reads that icon's image files, as it is made, although the
// main window's fixed width never lets its menus overflow.
class KalendoStyle : public QProxyStyle {
    Q_OBJECT
public:
    KalendoStyle() = default;

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    // Alt alone highlights the menu bar's first item, so the menus are reached from the keyboard
    // under every desktop style.
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
