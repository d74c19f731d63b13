#pragma once

#include "data/TextFile.h"
#include "search/TextFold.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What the user typed, ready to be looked for: its words folded (search/TextFold.h), and the
// needles of its rarest piece, which every matching line holds, so that only the few lines that
// hold them are decoded and folded.
class SearchQuery {
public:
    explicit SearchQuery(const QString& typed);

    // The words, split at blanks (the ideographic space too), folded.
    const QStringList& words() const { return m_words; }
    // Nothing typed, or a word code page 932 cannot write: nothing can match.
    bool findsNothing() const { return m_words.isEmpty() || m_needles.isEmpty(); }
    const AnyNeedle& needles() const { return m_needles; }

private:
    QStringList m_words;
    AnyNeedle m_needles;
};

// Where a match stands in a text as shown: characters start .. start + length.
struct SearchHit {
    int start = 0;
    int length = 0;
};

// A text of an entry as a result shows it, with where the words stand in it.
struct SearchField {
    QString text;
    QList<SearchHit> hits;
};

enum class SearchKind { Schedule, Anniversary, Holiday, Event };

// The kind as the user knows it: 予定, 記念日, 休日, イベント.
QString SearchKindName(SearchKind kind);

struct SearchMatch {
    SearchKind kind = SearchKind::Schedule;
    // The entry's day; of an anniversary or a rule, its day nearest to today. Invalid when the
    // stored date cannot be read.
    QDate date;
    QString start; // the times as stored ("09:00"), empty when none
    QString end;
    SearchField title;
    SearchField place;
    // The memo around its first match (of an anniversary, the date it counts from).
    SearchField memo;
    // The line as stored, by which its list finds its row again (rules/ListFile.h FindLineRow).
    QByteArray line;
};

struct SearchOutcome {
    // By date, entries without a readable date last.
    QList<SearchMatch> matches;
    // The match nearest to today, or -1.
    int nearest = -1;
    // The files that could not be read (or are refused, as a year file over the data limit),
    // each named once with the reason.
    QStringList unreadable;
    // Stopped before the end: what was found so far.
    bool stopped = false;
};

// Every entry of a data folder (with a trailing separator) that holds each word of the query in
// its title, place or memo: the schedule of every year file (NNNN.csv), the anniversaries and
// the holiday and event rules. A file that cannot be read is passed over and named. stop, asked
// between files, ends the search early. firstResults, when given, gets what the files nearest
// to today hold (today's year, the anniversaries and the rules) before the other years are
// searched, so that a window can show them at once.
SearchOutcome SearchDataFolder(const QString& folder, const SearchQuery& query, const QDate& today,
                               const std::function<bool()>& stop = {},
                               const std::function<void(const SearchOutcome&)>& firstResults = {});
