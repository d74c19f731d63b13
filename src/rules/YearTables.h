#pragma once

#include "data/TextFile.h"
#include "rules/DaySchedule.h"

#include <QHash>
#include <QSet>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// What a day annotation lists: 0 holidays, 1 events, 2 anniversaries, 3 schedule entries.
enum AnnotationKind { akHoliday = 0, akEvent = 1, akAnniversary = 2, akSchedule = 3 };

// The four lists of the shown year and an index that finds a day's lines without scanning.
// BuildYearTables replaces them; everything else only reads them.
class YearTables {
public:
    YearTables();

    int year() const { return m_year; }
    // The lists as lines of their own, made when first asked for: the tables themselves keep
    // each file in one buffer and their lines as places in it.
    const TextLines& YearHolidays() const { return lines(akHoliday); }
    const TextLines& YearEvents() const { return lines(akEvent); }
    const TextLines& Anniversaries() const { return lines(akAnniversary); }
    const TextLines& YearSchedules() const { return lines(akSchedule); }

    // The annotation of one day, kinds firstKind..lastKind, lines joined by CR LF, as
    // code page 932 bytes; empty when nothing of those kinds falls on the day.
    QByteArray annotation(int firstKind, int lastKind, int year, int month, int day) const;
    // The first lines of annotation(): all of them when there are at most maxLines, else the
    // first maxLines - 1 (maxLines >= 2; 0 for no bound), with the number of lines left out in
    // more. Only the lines kept are made, so a day of many entries costs what it shows. With
    // lineBytes, a longer line is cut there: enough for a hint, whatever a field holds.
    QByteArray annotationHead(int firstKind, int lastKind, int year, int month, int day,
                              qsizetype maxLines, qsizetype& more, qsizetype lineBytes = -1) const;
    // Whether annotation(kind, kind, ...) would be non-empty.
    bool hasAnnotation(int kind, int year, int month, int day) const;
    // Schedule lines whose key (InexactTextKey) is given show 「※」 before them: their text is
    // only what Kalendo could keep of another calendar's. Until the next build.
    void markInexact(QSet<QByteArray> keys);

    // A day list's OK saved its day over the year's file: tables holding the same version of
    // that file take the day's new lines as written, so that the next build need not read and
    // index the file again (it still compares the file's bytes while its times cannot tell a
    // later write from this one). Tables holding another version, or another year, are left
    // as they are and read the file at the next build. True when taken.
    bool takeSavedDay(const SavedDay& saved);
    // A build given the shown month holds the lines of the months its grid shows and takes in
    // the others when first asked for them; this takes them in now, at a moment nothing waits.
    void takeInEveryMonth() const;
    // Counts the lists a build replaced: while it stays the same (and the year), a day looks
    // as it did but for the days taken from saves.
    quint64 changes() const { return m_changes; }

private:
    friend void BuildYearTables(YearTables& tables, int year, const QString& dataFolder,
                                int shownMonth);

    // Lines of one list that can match a day: line indices grouped by slot (month * 32 + day),
    // in list order; schedule lines of another year by their key YYYYMMDD as a number.
    struct Index {
        std::vector<int> start; // slot -> first position in order; size kSlots + 1
        std::vector<int> order;
        QHash<int, QList<int>> otherYear;
        int year = 0; // the year whose schedule lines have slots
        // The lines it holds: of every month, or only of the shown months (schedule lines by
        // year * 100 + month, anniversaries by month).
        bool complete = true;
        std::array<int, 3> months{};
        bool holds(int monthKey) const {
            return complete || monthKey == months[0] || monthKey == months[1] ||
                   monthKey == months[2];
        }
        // The same months as the bytes that name them where a line names its month
        // ("YYYYMM" at 0 for schedule lines, "MM/" at 5 for anniversaries): most lines are
        // passed over on one comparison.
        std::array<quint64, 3> monthBytes{};
        // While the list is built: the lines looked at, those kept with their slot, and the
        // lines per slot.
        qsizetype indexed = 0;
        std::vector<std::pair<int, int>> kept;
        std::vector<int> counts;
    };
    static constexpr int kSlots = 13 * 32;
    QSet<QByteArray> m_inexact;

    // A list is indexed line by line as it is built (the file's lines as they are found), and
    // its index finished once the list is complete.
    void startIndex(int kind);
    static void restartIndex(Index& index);
    template <int kind> bool mayHold(QByteArrayView line) const;
    template <int kind> void indexLine(qsizetype i, QByteArrayView line);
    template <int kind> void takeFileLines(TextBuffer& out, qsizetype from, qsizetype end);
    void indexLines(int kind);
    void finishIndex(int kind);
    // Takes the lines of every month into an index that holds the shown months' only.
    void completeIndex(int kind) const;
    const TextLines& lines(int kind) const;
    // The indices of the lines of one kind that fall on a day, in list order.
    std::pair<const int*, const int*> lineRange(int kind, int year, int month, int day) const;
    // Appends one line's item to the text, CR LF first when the text is not empty; with cap, at
    // most cap bytes of it (but the anniversary's years), for a text only shown cut.
    void appendPiece(QByteArray& text, int kind, int line, int year, qsizetype cap = -1) const;
    QByteArray assemble(int firstKind, int lastKind, int year, int month, int day) const;

    // Where each list came from: a list is built again only when its file (or, but for the
    // anniversaries, the year) is no longer what it was built from.
    struct Source {
        QString path;
        int year = 0;
        FileStamp stamp;
        bool current = false;
    };
    bool stillCurrent(int kind, const QString& path, int year);

    int m_year = 0;
    int m_shownMonth = 0;
    quint64 m_changes = 0;
    std::array<Source, 4> m_sources;
    std::array<TextBuffer, 4> m_lists;
    std::array<Index, 4> m_index;
    mutable std::array<std::optional<TextLines>, 4> m_lineCopies;
    // Texts already assembled for days of the table's year; the lists never change after a
    // build, so a text stays right until the next build.
    // Indexed by firstKind * 4 + lastKind, then by slot.
    mutable std::array<std::vector<std::optional<QByteArray>>, 16> m_textCache;
    mutable bool m_textCached = false;
    void clearCache() const;
};

// A rule line the rules cannot read: the reason, then the file and the line number (counted as
// an editor counts them). The file's stamp tells one version of the file from the next, so that
// a window can say it once for each.
class RuleLineError : public KalendoError {
public:
    RuleLineError(const KalendoError& reason, const QString& path, qsizetype line,
                  const FileStamp& stamp);
    const FileStamp& stamp() const { return m_stamp; }

private:
    FileStamp m_stamp;
};

// Builds the four lists of a year from a data folder (with a trailing separator): the
// anniversaries and the year's schedule file as stored, the event rules resolved, the holiday
// rules resolved with the equinox days, substitute holidays and 国民の休日. Every list is
// rebuilt; a line the rules cannot read stops its own list there, and the first such stop
// (RuleLineError, or a read error) is thrown as KalendoError once all four lists are rebuilt.
// Given the month a window shows (1-12), the day index covers the months its grid shows first,
// and the others when first asked: answers are the same, the month's come sooner.
// A list whose file is certainly as it was when the list was last built (CertainlyUnchanged),
// for the same year, is kept as it is: a month step within a year reads nothing again.
void BuildYearTables(YearTables& tables, int year, const QString& dataFolder, int shownMonth = 0);

// A day's hint: its annotation as ShownLines shows it in at most maxLines lines, the last one
// 「他N件」 when more lines fall on the day.
QString ShownDayAnnotation(const YearTables& tables, int year, int month, int day,
                           qsizetype maxLines);

// The text of what falls on a day, from the tables (see YearTables::annotation).
QByteArray BuildDayAnnotation(const YearTables& tables, int firstKind, int lastKind, int year,
                              int month, int day);
