#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The fonts of the windows, at pixel sizes: IPA Gothic and IPA Mincho stand for the Japanese
// system fonts the windows were drawn for, C059 for Century.
QFont GothicFont(int pixels, bool bold = false);
QFont MinchoFont(int pixels, bool bold = false);
QFont CenturyFont(int pixels, bool bold = false);

// A window's background colour (children without a background of their own show it), and a
// widget's text colour.
void SetWindowColor(QWidget* widget, const QColor& color);
void SetTextColor(QWidget* widget, const QColor& color);
// The system's button-face colour.
QColor ButtonFace();
