#pragma once

// The heavy data folder the benchmarks measure: ten years of 50,000 schedule lines each (the
// last year's busy day has 200 entries, standing among the others as years of saves leave
// them), 20,000 anniversaries, 1,000 holiday and 1,000 event rules. `scale` multiplies the last
// year's lines. With a rare memo, one schedule line in RareEvery has it instead of the usual one
// (a word for the search to find).

#include "data/Codec.h"
#include "rules/ComType.h"

#include <QDate>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

namespace heavy {

constexpr int ScheduleLines = 50000;
constexpr int Years = 10;
constexpr int BusyDayEntries = 200;
constexpr int RareEvery = 1000;

inline QByteArray sj(const char* utf8) {
    return Codec::encodeOrThrow(QString::fromUtf8(utf8));
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray scheduleLine(const QDate& d, int number, QRandomGenerator& rng, int i,
                               const QByteArray& rareMemo = {}) {
    static const QByteArray title = sj("打合せ");
    static const QByteArray place = sj("本社会議室");
    static const QByteArray memo = sj("資料を持参すること");
    char head[64];
    std::snprintf(head, sizeof head, "%.4d%.2d%.2d,%d,%.2d:%.2d,%.2d:00,", d.year(), d.month(),
                  d.day(), number, rng.bounded(24), rng.bounded(60), rng.bounded(24));
    const bool rare = !rareMemo.isEmpty() && i % RareEvery == RareEvery / 2;
    return head + title + QByteArray::number(i) + ',' + place + ',' + (rare ? rareMemo : memo) +
           "\r\n";
}

inline void makeFolder(const QString& folder, const QDate& busyDate, int scale = 1,
                       const QByteArray& rareMemo = {}) {
    QRandomGenerator rng(42);
    const int last = busyDate.year();
    for (int year = last - Years + 1; year <= last; ++year) {
        const int lines = ScheduleLines * (year == last ? scale : 1);
        QByteArray schedule;
        schedule.reserve(qsizetype(lines) * 80);
        const int busy = year == last ? BusyDayEntries : 0;
        const QDate yearsBusyDate(year, busyDate.month(), busyDate.day());
        for (int i = 0; i < lines - busy; ++i) {
            QDate d = QDate(year, 1, 1).addDays(rng.bounded(365));
            if (busy && d == yearsBusyDate)
                d = d.addDays(1);
            schedule += scheduleLine(d, i % 9 + 1, rng, i, rareMemo);
        }
        for (int i = 0; i < busy; ++i) {
            const QByteArray line = scheduleLine(yearsBusyDate, i + 1, rng, lines + i, rareMemo);
            const qsizetype at = schedule.indexOf("\r\n", rng.bounded(schedule.size())) + 2;
            schedule.insert(at > 1 ? at : schedule.size(), line);
        }
        writeFile(ScheduleFilePath(folder, year), schedule);
    }
    QByteArray anniversaries;
    for (int i = 0; i < 20000; ++i) {
        const QDate d = QDate(1950, 1, 1).addDays(rng.bounded(27000));
        anniversaries += d.toString(QStringLiteral("yyyy/MM/dd")).toLatin1() + ',' + sj("記念日") +
                         QByteArray::number(i) + ",\r\n";
    }
    auto rules = [&](const char* title) {
        QByteArray out;
        for (int i = 0; i < 1000; ++i) {
            const int month = rng.bounded(12) + 1;
            if (i % 4 == 0)
                out += QString::asprintf("%.2d/--,", month).toLatin1() + sj(title) +
                       QByteArray::number(i) + ',' + QByteArray::number(rng.bounded(5) + 1) + ',' +
                       QByteArray::number(rng.bounded(7)) + "\r\n";
            else
                out += QString::asprintf("%.2d/%.2d,", month, rng.bounded(28) + 1).toLatin1() +
                       sj(title) + QByteArray::number(i) + ",0,0\r\n";
        }
        return out;
    };
    writeFile(AnniversaryFilePath(folder), anniversaries);
    writeFile(HolidayFilePath(folder), rules("休日"));
    writeFile(EventFilePath(folder), rules("行事"));
}

} // namespace heavy
