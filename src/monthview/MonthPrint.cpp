#include "monthview/MonthPrint.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "data/ShownText.h"
#include "data/TextFile.h"
#include "monthview/GridCanvas.h"
#include "monthview/MonthCellPaint.h"
#include "monthview/MonthGrid.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/JapaneseEra.h"
#include "rules/YearTables.h"
#include "widgets/FileChooser.h"
#include "widgets/FormParts.h"
#include "widgets/UiLook.h"

#include <QBuffer>
#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>

namespace {

const QColor HeaderFill(0xF0, 0xF0, 0xF0);
const QColor DayFill(0xFF, 0xFF, 0xFF);
const QColor Rule(0x60, 0x60, 0x60);

// The page's parts as fractions of its rectangle: a margin, the heading, the weekday row, the
// weeks below.
struct PageFrame {
    QRectF heading;
    QRectF weekdays;
    QRectF weeks;
    int weekCount = 0;
    int offset = 0; // the weekday of the 1st, 0 = Sunday
};

PageFrame frameOf(const QRectF& page, int year, int month) {
    const QRectF inner = page.marginsRemoved(QMarginsF(page.width() * 0.03, page.height() * 0.04,
                                                       page.width() * 0.03, page.height() * 0.04));
    PageFrame f;
    f.offset = WeekdayOf(year, month, 1);
    f.weekCount = (f.offset + DaysInMonth(year, month) + 6) / 7;
    f.heading = QRectF(inner.left(), inner.top(), inner.width(), inner.height() * 0.09);
    f.weekdays = QRectF(inner.left(), f.heading.bottom(), inner.width(), inner.height() * 0.05);
    f.weeks = QRectF(inner.left(), f.weekdays.bottom(), inner.width(),
                     inner.bottom() - f.weekdays.bottom());
    return f;
}

QFont printFont(double points, bool bold = false) {
    QFont font = GothicFont(10, bold);
    font.setPointSizeF(points);
    return font;
}

// The lines a day cell lists below its number, each no longer than a hint shows it: a cell
// elides them, and eliding a line of megabytes would hold up the printing.
QStringList dayLines(const YearTables& tables, int year, int month, int day) {
    QStringList lines;
    const QByteArray marked =
        BuildDayAnnotation(tables, akHoliday, akAnniversary, year, month, day);
    if (!marked.isEmpty())
        lines = ShownLines(marked).split(QLatin1Char('\n'));
    StringGrid entries(ScheduleColumn::Count, 0);
    ListDayRows(tables.YearSchedules(),
                QString::asprintf("%04d%02d%02d", year, month, day).toLatin1(), entries);
    for (int r = entries.fixedRows(); r < entries.rowCount(); ++r) {
        const QString title = ShownLine(entries.cell(ScheduleColumn::Title, r).trimmed());
        if (title.isEmpty())
            continue;
        const QString start = Codec::toUnicode(entries.cell(ScheduleColumn::Start, r).trimmed());
        lines << (start.isEmpty() ? title : start + QLatin1Char(' ') + title);
    }
    return lines;
}

void paintDay(QPainter& painter, const QRectF& cell, int col, const YearTables& tables, int year,
              int month, int day) {
    TGridCanvas canvas(painter);
    canvas.Font = printFont(14, true);
    canvas.Brush = DayFill;
    LayMonthCell(canvas, col, false, false, false,
                 [&](int kind) { return tables.hasAnnotation(kind, year, month, day); });
    painter.fillRect(cell, canvas.Brush);
    const QFontMetricsF numberMetrics(canvas.Font, painter.device());
    const double pad = numberMetrics.height() * 0.15;
    painter.setFont(canvas.Font);
    painter.setPen(canvas.FontColor);
    painter.drawText(QPointF(cell.left() + pad, cell.top() + pad + numberMetrics.ascent()),
                     QString::number(day));

    const QFont itemFont = printFont(9);
    const QFontMetricsF metrics(itemFont, painter.device());
    painter.setFont(itemFont);
    painter.setPen(MonthColors::Weekday);
    const double width = cell.width() - 2 * pad;
    double y = cell.top() + pad + numberMetrics.height() + pad;
    const QStringList lines = dayLines(tables, year, month, day);
    for (int i = 0; i < lines.size(); ++i) {
        const bool lastRoom = y + 2 * metrics.height() > cell.bottom() - pad;
        // A full cell says how many it leaves out, so that no entry goes missing unnoticed.
        const QString text = lastRoom && i + 1 < lines.size()
                                 ? QStringLiteral("他%1件").arg(lines.size() - i)
                                 : lines.at(i);
        painter.drawText(QPointF(cell.left() + pad, y + metrics.ascent()),
                         metrics.elidedText(text, Qt::ElideRight, width));
        y += metrics.height();
        if (lastRoom)
            break;
    }
}

// One page in A4 landscape with no margin of the device's own: the page draws its own.
void setUpPage(QPagedPaintDevice& device) {
    device.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
}

void paintOnDevice(QPagedPaintDevice& device, const YearTables& tables, int year, int month) {
    QPainter painter;
    if (!painter.begin(&device))
        throw KalendoError(QStringLiteral("印刷を始められません"));
    PaintMonthPage(painter, QRectF(0, 0, device.width(), device.height()), tables, year, month);
    painter.end();
}

} // namespace

QString MonthPageHeading(int year, int month) {
    const QString era = JapaneseEraYear(QDate(year, month, DaysInMonth(year, month)));
    return QStringLiteral("%1年").arg(year) +
           (era.isEmpty() ? QString() : QStringLiteral("（") + era + QStringLiteral("）")) +
           QStringLiteral("%1月").arg(month);
}

QRectF MonthPageDayRect(const QRectF& page, int year, int month, int day) {
    if (day < 1 || day > DaysInMonth(year, month))
        return QRectF();
    const PageFrame f = frameOf(page, year, month);
    const int index = f.offset + day - 1;
    const double w = f.weeks.width() / 7;
    const double h = f.weeks.height() / f.weekCount;
    return QRectF(f.weeks.left() + (index % 7) * w, f.weeks.top() + (index / 7) * h, w, h);
}

void PaintMonthPage(QPainter& painter, const QRectF& page, const YearTables& tables, int year,
                    int month) {
    const PageFrame f = frameOf(page, year, month);
    painter.fillRect(page, Qt::white);
    painter.setFont(printFont(20, true));
    painter.setPen(MonthColors::Weekday);
    painter.drawText(f.heading, Qt::AlignLeft | Qt::AlignVCenter, MonthPageHeading(year, month));

    const double w = f.weekdays.width() / 7;
    for (int col = 0; col < 7; ++col) {
        TGridCanvas canvas(painter);
        canvas.Brush = HeaderFill;
        LayMonthCell(canvas, col, true, false, false, [](int) { return false; });
        const QRectF cell(f.weekdays.left() + col * w, f.weekdays.top(), w, f.weekdays.height());
        painter.fillRect(cell, canvas.Brush);
        painter.setFont(printFont(11, true));
        painter.setPen(canvas.FontColor);
        painter.drawText(cell, Qt::AlignCenter, WeekdayNames[size_t(col)]);
    }
    for (int day = 1; day <= DaysInMonth(year, month); ++day)
        paintDay(painter, MonthPageDayRect(page, year, month, day), (f.offset + day - 1) % 7,
                 tables, year, month, day);

    QPen rule(Rule);
    rule.setWidthF(page.width() / 1500);
    painter.setPen(rule);
    const QRectF grid(f.weekdays.topLeft(), f.weeks.bottomRight());
    for (int col = 0; col <= 7; ++col)
        painter.drawLine(QPointF(grid.left() + col * w, grid.top()),
                         QPointF(grid.left() + col * w, grid.bottom()));
    painter.drawLine(grid.topLeft(), grid.topRight());
    for (int week = 0; week <= f.weekCount; ++week) {
        const double y = f.weeks.top() + week * f.weeks.height() / f.weekCount;
        painter.drawLine(QPointF(grid.left(), y), QPointF(grid.right(), y));
    }
}

void WriteMonthPdf(const QString& path, const YearTables& tables, int year, int month) {
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(300);
        writer.setTitle(MonthPageHeading(year, month));
        writer.setCreator(QStringLiteral("Kalendo"));
        setUpPage(writer);
        paintOnDevice(writer, tables, year, month);
    }
    SaveExportFile(path, pdf.data());
}

void PrintMonth(QWidget* parent, const YearTables& tables, int year, int month) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(MonthPageHeading(year, month));
    setUpPage(printer);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() == QDialog::Accepted)
        paintOnDevice(printer, tables, year, month);
}

void SaveMonthPdf(QWidget* parent, const YearTables& tables, int year, int month) {
    const QString path = ChooseFile(
        parent, FileChoice::Save, QStringLiteral("PDFに書き出し"),
        QDir::homePath() +
            QStringLiteral("/kalendo-%1-%2.pdf").arg(year).arg(month, 2, 10, QLatin1Char('0')),
        QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    WriteMonthPdf(path, tables, year, month);
    ShowMessageBox(parent, QMessageBox::Information, QStringLiteral("PDFに書き出し"),
                   QStringLiteral("書き出しました。\n") + QDir::toNativeSeparators(path));
}
