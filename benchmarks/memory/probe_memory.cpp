// One step of what a user does with a large data folder, for measuring the peak resident size
// against the largest file (run it through measure_memory.sh, one process per step):
//   start  the month view's tables built and the month's 42 days asked for their marks;
//   hint   start, then the hint of the day as the main window makes it (the time is printed);
//   open   the day list of the day loaded and shown;
//   ok     open, the first entry's memo changed, then OK (the year written, with its backup and
//          its identities);
//   save   the day's lines read and written as OK writes them, without the window and without the
//          identities, to tell the two apart.
// Run: probe_memory <step> <data folder> <yyyy/MM/dd>; prints "step peak-kB ms".

#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/YearTables.h"
#include "schedule/MainEdit.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

qint64 peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: probe_memory start|hint|open|ok|save <folder> <yyyy/MM/dd>\n");
        return 2;
    }
    const QByteArray step = argv[1];
    QString folder = QFile::decodeName(argv[2]);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString caption = QString::fromLatin1(argv[3]);
    const QDate day = QDate::fromString(caption, QStringLiteral("yyyy/MM/dd"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetDataFolder(folder);
    QElapsedTimer timer;
    qint64 ms = 0;
    if (step == "start" || step == "hint") {
        YearTables tables;
        BuildYearTables(tables, day.year(), folder, day.month());
        for (int d = 1; d <= day.daysInMonth(); ++d)
            for (int kind = 0; kind < 4; ++kind)
                tables.hasAnnotation(kind, day.year(), day.month(), d);
        if (step == "hint") {
            timer.start();
            const QString hint = ShownDayAnnotation(tables, day.year(), day.month(), day.day(), 40);
            ms = timer.elapsed();
            if (hint.isEmpty())
                qFatal("no hint");
        }
    } else if (step == "save") {
        TextBuffer year;
        StringGrid dayList(ScheduleColumn::Count, 2, 1, 0);
        const QByteArray key = CaptionDayKey(caption);
        const QString path = ScheduleFilePath(folder, day.year());
        timer.start();
        LoadDayRows(path, key, year, dayList);
        const int row = dayList.fixedRows();
        dayList.setCell(ScheduleColumn::Memo, row, dayList.cell(ScheduleColumn::Memo, row) + "x");
        SaveDay(path, year, dayList, key);
        ms = timer.elapsed();
    } else if (step == "open" || step == "ok") {
        TMainEditForm list;
        list.setWindowTitle(caption);
        timer.start();
        list.LoadDaySchedule();
        list.show();
        QCoreApplication::processEvents();
        if (step == "ok") {
            StringGrid& grid = list.gridEdit->grid();
            const int row = grid.fixedRows();
            grid.setCell(ScheduleColumn::Memo, row, grid.cell(ScheduleColumn::Memo, row) + "x");
            list.btnOkClick();
        }
        ms = timer.elapsed();
    } else {
        std::fprintf(stderr, "unknown step %s\n", step.constData());
        return 2;
    }
    std::printf("%s %lld %lld\n", step.constData(), peakKb(), ms);
    return 0;
}
