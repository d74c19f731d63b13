#pragma once

class QObject;
class QRect;
class QScreen;
class QWidget;

// The part of a screen's free area that a window covers in whole pixels of the screen: at a
// fractional scale (1.5) its last logical pixel may be only partly on the screen, and a window
// reaching into it ends a device pixel past the edge.
QRect WholePixelArea(const QScreen* screen);

// Moves a window, frame included, wholly onto the screen it is on (the screen under its centre,
// else the nearest one): a window placed relative to another would otherwise open past an edge,
// on a small or scaled screen above all. A window larger than the screen's free area shrinks to
// it as far as its minimum size lets it; its top-left corner stays on the screen.
void FitOnScreen(QWidget* window);

// Fits a window that has just been shown, once its own show handler has placed it; anything
// else (a control, a menu, a hint) is left as it is. The application calls it for every window,
// the program's own and the toolkit's dialogs alike.
void FitShownWindow(QObject* shown);
