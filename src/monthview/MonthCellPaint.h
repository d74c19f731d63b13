#pragma once

#include "monthview/GridCanvas.h"

#include <functional>

// The colours of the month grid.
namespace MonthColors {
inline const QColor Sunday{0xFF, 0x00, 0x00};
inline const QColor Saturday{0x00, 0x00, 0xFF};
inline const QColor Weekday{0x00, 0x00, 0x00};
inline const QColor Current{0x00, 0xFF, 0xFF};
inline const QColor Holiday{0xFF, 0x00, 0xFF};
inline const QColor Event{0x00, 0xFF, 0x00};
inline const QColor Anniversary{0xFF, 0xFF, 0x00};
} // namespace MonthColors

// Whether a kind of annotation (0 holidays .. 3 schedule entries) falls on the cell's day.
using HasAnnotation = std::function<bool(int kind)>;

// Sets the canvas for one cell of the month grid, layer by layer over what the grid prepared:
// the column's text colour; then, for a day cell, aqua when current, magenta text for a
// holiday, lime for an event, yellow for an anniversary, underlined text for a schedule entry.
// Each later layer covers the earlier ones where it changes something. Header and empty cells
// take only the column colour.
void LayMonthCell(TGridCanvas& canvas, int col, bool fixed, bool selected, bool empty,
                  const HasAnnotation& has);

// Lays the cell out as above and repaints it once with the result.
void PaintMonthCell(TGridCanvas& canvas, int col, const QRect& rect, TGridDrawState state,
                    const QString& text, const HasAnnotation& has);
