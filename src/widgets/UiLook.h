#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

// The colours of the month grid's and the lists' cells. They are the same under every desktop
// theme, backgrounds included, so that each text keeps a contrast of at least 4.5:1 against each
// background it can lie on: the red of Sundays and the magenta of holidays are darkened for
// that, the backgrounds keep their full colours.
namespace CellColors {
inline const QColor Window{0xFF, 0xFF, 0xFF};     // a day's or a row's plain background
inline const QColor ButtonFace{0xF0, 0xF0, 0xF0}; // header and fixed cells
inline const QColor Text{0x00, 0x00, 0x00};
inline const QColor Sunday{0xC0, 0x00, 0x00};
inline const QColor Saturday{0x00, 0x00, 0xFF};
inline const QColor Holiday{0xA8, 0x00, 0xA8};
inline const QColor Current{0x00, 0xFF, 0xFF};
inline const QColor Event{0x00, 0xFF, 0x00};
inline const QColor Anniversary{0xFF, 0xFF, 0x00};
inline const QColor LightGreen{150, 245, 150}; // every other list row
} // namespace CellColors

// The fonts of the windows, at pixel sizes: IPA Gothic and IPA Mincho stand for the Japanese
// system fonts the windows were drawn for, C059 for Century.
QFont GothicFont(int pixels, bool bold = false);
QFont MinchoFont(int pixels, bool bold = false);
QFont CenturyFont(int pixels, bool bold = false);

// The menu bar's font, the desktop's smaller menu text.
QFont MenuFont();
// Gives a window its font when it is first shown. Until then the window has the menu's font,
// which the main window's first paint loads anyway: the texts its controls lay out as they are
// built would otherwise load a font at start-up for a window that may never show.
void SetFontWhenShown(QWidget* window, const QFont& font);

// A window's background colour (children without a background of their own show it), and a
// widget's text colour.
void SetWindowColor(QWidget* widget, const QColor& color);
void SetTextColor(QWidget* widget, const QColor& color);
// The system's button-face colour.
QColor ButtonFace();

// The colour closest to ink, same hue, that reads at 4.5:1 at least on background: darker on a
// light background, lighter on a dark one. Ink that reads already comes back as it is.
QColor LegibleOn(const QColor& ink, const QColor& background);
// Gives a widget a text colour of its own that stays legible under any desktop theme: each time
// the widget shows, the colour is fitted to the background the role lies on.
void SetLegibleTextColor(QWidget* widget, QPalette::ColorRole textRole, const QColor& ink);
