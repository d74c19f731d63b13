#include "monthview/MonthCellPaint.h"

#include "rules/YearTables.h"

void LayMonthCell(TGridCanvas& canvas, int col, bool fixed, bool selected, bool empty,
                  const HasAnnotation& has) {
    canvas.FontColor = col == 0   ? MonthColors::Sunday
                       : col == 6 ? MonthColors::Saturday
                                  : MonthColors::Weekday;
    if (fixed || empty)
        return;
    if (selected)
        canvas.Brush = MonthColors::Current;
    if (has(akHoliday))
        canvas.FontColor = MonthColors::Holiday;
    if (has(akEvent))
        canvas.Brush = MonthColors::Event;
    if (has(akAnniversary))
        canvas.Brush = MonthColors::Anniversary;
    if (has(akSchedule))
        canvas.Font.setUnderline(true);
}

void PaintMonthCell(TGridCanvas& canvas, int col, const QRect& rect, TGridDrawState state,
                    const QString& text, const HasAnnotation& has) {
    // Every layer repaints the whole cell, so painting the last state alone gives the same
    // pixels as painting each layer in turn.
    LayMonthCell(canvas, col, state.testFlag(gdFixed), state.testFlag(gdSelected), text.isEmpty(),
                 has);
    canvas.Repaint(rect, text);
}
