#pragma once

#include <QRectF>
#include <QString>

class QPainter;
class QWidget;
class YearTables;

// The shown month on paper: one A4 landscape page with a heading (year, Japanese era, month)
// and the month's weeks, each day cell coloured as the month grid colours it (LayMonthCell)
// and listing the day's holidays, events and anniversaries (BuildDayAnnotation) and its
// schedule entries with their start times. A line too long for its cell, and the last line of
// a cell too full, end in "…", always between whole characters.

// "2026年（令和8年）12月"; the era is the one in force at the end of the month.
QString MonthPageHeading(int year, int month);

// Where a day's cell lies on a page of the given rectangle (a day of another month: empty).
QRectF MonthPageDayRect(const QRectF& page, int year, int month, int day);

// Paints the page into the rectangle, in the painter's device units. The tables are the
// year's (BuildYearTables).
void PaintMonthPage(QPainter& painter, const QRectF& page, const YearTables& tables, int year,
                    int month);

// Writes the page as a PDF with its fonts embedded; the file is replaced only once it is
// complete. A failure throws KalendoError.
void WriteMonthPdf(const QString& path, const YearTables& tables, int year, int month);

// The menu commands: the print dialog, then the printer; the file choice, then the PDF.
void PrintMonth(QWidget* parent, const YearTables& tables, int year, int month);
void SaveMonthPdf(QWidget* parent, const YearTables& tables, int year, int month);
