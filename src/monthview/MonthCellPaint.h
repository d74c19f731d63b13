#pragma once

#include "monthview/GridCanvas.h"
#include "widgets/UiLook.h"

#include <functional>

// The colours of the month grid.
namespace MonthColors {
inline const QColor Sunday = CellColors::Sunday;
inline const QColor Saturday = CellColors::Saturday;
inline const QColor Weekday = CellColors::Text;
inline const QColor Current = CellColors::Current;
inline const QColor Holiday = CellColors::Holiday;
inline const QColor Event = CellColors::Event;
inline const QColor Anniversary = CellColors::Anniversary;
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
