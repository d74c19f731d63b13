#include "search/DataSearch.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/ListFile.h"
#include "rules/RuleEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// How often a byte stands in a data file, roughly: enough to tell a rare piece of a word from a
// common one. Digits and separators fill the dates and times; 0x82 and 0x83 lead every kana.
double byteShare(char c) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || b == ',' || b == ':' || b == '/' || b == '"' || b == ' ')
        return 1.0 / 12;
    if (b == 0x82 || b == 0x83)
        return 1.0 / 8;
    if (b == 0x81)
        return 1.0 / 30;
    if (b >= 0x40 && b <= 0x7A)
        return 1.0 / 40;
    return 1.0 / 100;
}

// What looking for a set of needles costs per 64 bytes, roughly, in compares: each probe is one
// compare of 64 bytes; each place where the probed bytes hold is compared whole; each line that
// holds a needle whole is decoded and folded.
double searchCost(const std::vector<AnyNeedle::Needle>& needles, const AnyNeedle& probed) {
    double probedShare = 0;
    double wholeShare = 0;
    for (const AnyNeedle::Needle& needle : needles) {
        std::vector<double> places;
        for (size_t j = 0; j < needle.size() && j < 8; ++j) {
            double place = 0;
            for (const char b : needle[j])
                place += byteShare(b);
            places.push_back(std::min(place, 1.0));
        }
        std::sort(places.begin(), places.end());
        double whole = 1;
        for (const double place : places)
            whole *= place;
        probedShare += places.size() > 1 ? places[0] * places[1] : places[0];
        wholeShare += whole;
    }
    double compares = 0;
    for (const AnyNeedle::Probe& probe : probed.probes())
        compares += double(probe.bytes.size());
    return compares + 64 * (20 * probedShare + 500 * wholeShare);
}

// Every place a word stands in a folded text, in the characters of the text it was folded from.
QList<SearchHit> hitsIn(const FoldedText& folded, const QString& word) {
    QList<SearchHit> hits;
    for (qsizetype at = folded.text.indexOf(word); at >= 0;
         at = folded.text.indexOf(word, at + word.size())) {
        const int start = folded.origin[size_t(at)];
        const int end = folded.origin[size_t(at + word.size())];
        hits.append({start, end - start});
    }
    return hits;
}

// The texts of an entry that the words are looked for in, as shown, with their hits once every
// word stands in one of them.
bool findWords(const QStringList& words, std::initializer_list<SearchField*> fields) {
    std::vector<FoldedText> folded;
    folded.reserve(fields.size());
    for (const SearchField* field : fields)
        folded.push_back(FoldText(field->text));
    for (const QString& word : words) {
        bool found = false;
        size_t i = 0;
        for (SearchField* field : fields) {
            const QList<SearchHit> hits = hitsIn(folded[i++], word);
            field->hits.append(hits);
            found = found || !hits.isEmpty();
        }
        if (!found)
            return false;
    }
    for (SearchField* field : fields)
        std::sort(field->hits.begin(), field->hits.end(),
                  [](const SearchHit& a, const SearchHit& b) { return a.start < b.start; });
    return true;
}

// A long memo shown from a little before its first hit, cut with "…" at either end.
void shortenAroundHit(SearchField& field) {
    constexpr int before = 12;
    constexpr int shown = 48;
    if (field.text.size() <= shown)
        return;
    const int first = field.hits.isEmpty() ? 0 : field.hits.first().start;
    int from = std::max(0, first - before);
    if (from > 0 && field.text.at(from).isLowSurrogate())
        --from;
    const QString ellipsis = QStringLiteral("…");
    QString text = field.text.mid(from, shown);
    const int shift = from > 0 ? 1 - from : 0;
    if (from > 0)
        text.prepend(ellipsis);
    if (from + shown < field.text.size())
        text.append(ellipsis);
    QList<SearchHit> hits;
    for (SearchHit hit : field.hits) {
        hit.start += shift;
        const int end = std::min<int>(hit.start + hit.length, int(text.size()));
        if (hit.start >= (from > 0 ? 1 : 0) && hit.start < end)
            hits.append({hit.start, end - hit.start});
    }
    field.text = text;
    field.hits = hits;
}

QString shown(const QByteArray& cell) {
    return Codec::toUnicode(cell).trimmed();
}

// Of the days a yearly date gives in the years around today, the nearest. Four years each way,
// so that 29 February is found from a common year; a nearer day always wins.
template <typename DayOf> QDate nearestDay(const QDate& today, DayOf&& dayOf) {
    QDate best;
    for (int year = today.year() - 4; year <= today.year() + 4; ++year) {
        const QDate day = dayOf(year);
        if (day.isValid() &&
            (!best.isValid() || std::abs(today.daysTo(day)) < std::abs(today.daysTo(best))))
            best = day;
    }
    return best;
}

// The n-th given weekday (0 Sunday) of a month, or an invalid date when the month has none.
QDate nthWeekday(int year, int month, int n, int weekday) {
    const QDate first(year, month, 1);
    const int offset = (weekday - first.dayOfWeek() % 7 + 7) % 7;
    const QDate day = first.addDays(offset + 7 * (n - 1));
    return day.month() == month ? day : QDate();
}

// The candidate lines of one file: those that hold a needle, found as the bytes are read.
std::vector<QByteArray> candidateLines(const QString& path, const AnyNeedle& needles) {
    TextBuffer buffer;
    std::vector<std::pair<qsizetype, qsizetype>> places;
    buffer.loadBytes(path, [&](qsizetype start, qsizetype end) {
        auto keep = [&](qsizetype lineStart, qsizetype size) {
            places.emplace_back(start + lineStart, size);
        };
        TextFileDetail::forEachLineWithAny(buffer.bytes().constData() + start, end - start, needles,
                                           keep);
    });
    std::vector<QByteArray> lines;
    lines.reserve(places.size());
    for (const auto& [start, size] : places)
        lines.push_back(buffer.bytes().mid(start, size));
    return lines;
}

SearchMatch scheduleMatch(const QByteArray& line, const QStringList& words, bool& found) {
    const Row row = LineRow(line, ScheduleColumn::Count);
    SearchMatch match;
    match.title.text = shown(row[ScheduleColumn::Title]);
    match.place.text = shown(row[ScheduleColumn::Place]);
    match.memo.text = shown(row[ScheduleColumn::Memo]);
    found = findWords(words, {&match.title, &match.place, &match.memo});
    if (!found)
        return match;
    shortenAroundHit(match.memo);
    match.kind = SearchKind::Schedule;
    match.date =
        QDate::fromString(QString::fromLatin1(FirstCommaField(line)), QStringLiteral("yyyyMMdd"));
    match.start = shown(row[ScheduleColumn::Start]);
    match.end = shown(row[ScheduleColumn::End]);
    match.line = line;
    return match;
}

SearchMatch anniversaryMatch(const QByteArray& line, const QStringList& words, const QDate& today,
                             bool& found) {
    const Row row = LineRow(line, 2);
    SearchMatch match;
    match.title.text = shown(row[1]);
    found = findWords(words, {&match.title});
    if (!found)
        return match;
    match.kind = SearchKind::Anniversary;
    match.memo.text = shown(row[0]);
    try {
        bool noYear = false;
        const QDate from = AnniversaryDayFromText(row[0], noYear);
        if (noYear)
            match.memo.text = QStringLiteral("年なし"); // no date to count the years from
        match.date =
            nearestDay(today, [&](int year) { return QDate(year, from.month(), from.day()); });
    } catch (const KalendoError&) {
        // A date that cannot be read still lets the entry be found and opened.
    }
    match.line = line;
    return match;
}

SearchMatch ruleMatch(const QByteArray& line, SearchKind kind, const QStringList& words,
                      const QDate& today, bool& found) {
    const Row row = LineRow(line, 4);
    SearchMatch match;
    match.title.text = shown(row[1]);
    found = findWords(words, {&match.title});
    if (!found)
        return match;
    match.kind = kind;
    try {
        const RuleEntry rule = RuleEntry::fromRow(row, today);
        const int month = rule.monthIndex + 1;
        match.date = nearestDay(today, [&](int year) {
            return rule.isFixedDate() ? QDate(year, month, rule.date.day())
                                      : nthWeekday(year, month, rule.weekNumber, rule.weekday);
        });
        if (!rule.isFixedDate())
            match.memo.text = QStringLiteral("%1月 第%2%3曜日")
                                  .arg(month)
                                  .arg(rule.weekNumber)
                                  .arg(WeekdayNames.at(size_t(rule.weekday)));
    } catch (const KalendoError&) {
    }
    match.line = line;
    return match;
}

// The reason a file was not read, on one line, with its name.
QString unreadableText(const QString& path, const KalendoError& error) {
    const QString reason = error.message().section(QLatin1Char('\n'), 0, 0).trimmed();
    return QFileInfo(path).fileName() + QStringLiteral(": ") + reason;
}

// The matches by date (unreadable dates last) with the one nearest to today marked, and the files
// passed over by name.
void orderOutcome(SearchOutcome& outcome, const QDate& today) {
    std::stable_sort(outcome.matches.begin(), outcome.matches.end(),
                     [](const SearchMatch& a, const SearchMatch& b) {
                         if (a.date.isValid() != b.date.isValid())
                             return a.date.isValid();
                         if (a.date != b.date)
                             return a.date < b.date;
                         return a.start < b.start;
                     });
    outcome.nearest = -1;
    qint64 nearest = -1;
    for (qsizetype i = 0; i < outcome.matches.size(); ++i) {
        const QDate& date = outcome.matches.at(i).date;
        if (!date.isValid())
            break;
        const qint64 distance = std::abs(today.daysTo(date));
        if (outcome.nearest < 0 || distance < nearest) {
            outcome.nearest = int(i);
            nearest = distance;
        }
    }
    outcome.unreadable.sort();
}

} // namespace

QString SearchKindName(SearchKind kind) {
    switch (kind) {
    case SearchKind::Schedule:
        return QStringLiteral("予定");
    case SearchKind::Anniversary:
        return QStringLiteral("記念日");
    case SearchKind::Holiday:
        return QStringLiteral("休日");
    case SearchKind::Event:
        return QStringLiteral("イベント");
    }
    return QString();
}

SearchQuery::SearchQuery(const QString& typed) {
    const FoldedText folded = FoldText(Codec::mapTyped(typed));
    m_words = folded.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // The rarest piece of up to three characters of any word, written every way it can be.
    std::vector<AnyNeedle::Needle> best;
    double bestCost = 0;
    bool chosen = false;
    for (const QString& word : m_words) {
        for (qsizetype from = 0; from < word.size(); ++from) {
            for (qsizetype length = 1; length <= 3 && from + length <= word.size(); ++length) {
                std::vector<AnyNeedle::Needle> needles =
                    FoldedNeedles(QStringView(word).mid(from, length));
                if (needles.empty()) {
                    // Code page 932 cannot write this word: no line holds it.
                    m_needles = AnyNeedle();
                    return;
                }
                if (needles.size() > 8)
                    continue;
                const double cost = searchCost(needles, AnyNeedle(needles, byteShare));
                if (!chosen || cost < bestCost) {
                    chosen = true;
                    bestCost = cost;
                    best = std::move(needles);
                }
            }
        }
    }
    m_needles = AnyNeedle(std::move(best), byteShare);
}

SearchOutcome SearchDataFolder(const QString& folder, const SearchQuery& query, const QDate& today,
                               const std::function<bool()>& stop,
                               const std::function<void(const SearchOutcome&)>& firstResults) {
    SearchOutcome outcome;
    if (query.findsNothing())
        return outcome;
    const auto each = [&](const QString& path, auto&& toMatch) {
        if (stop && stop()) {
            outcome.stopped = true;
            return;
        }
        try {
            for (const QByteArray& line : candidateLines(path, query.needles())) {
                bool found = false;
                SearchMatch match = toMatch(line, found);
                if (found)
                    outcome.matches.append(std::move(match));
            }
        } catch (const KalendoError& error) {
            outcome.unreadable.append(unreadableText(path, error));
        }
    };
    const auto schedule = [&](const QString& name) {
        each(folder + name, [&](const QByteArray& line, bool& found) {
            return scheduleMatch(line, query.words(), found);
        });
    };
    // The year files: a name of four digits. Pipes, devices and folders in a year file's place
    // are named too, not passed over unseen. This year's first, then the nearest.
    static const QRegularExpression yearName(QStringLiteral("^\\d{4}\\.csv$"));
    QStringList years;
    for (const QString& name : QDir(folder).entryList(
             QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
        if (yearName.match(name).hasMatch())
            years.append(name);
    const auto distance = [&](const QString& name) {
        return std::abs(name.left(4).toInt() - today.year());
    };
    std::stable_sort(years.begin(), years.end(),
                     [&](const QString& a, const QString& b) { return distance(a) < distance(b); });
    const QString thisYear = QFileInfo(ScheduleFilePath(folder, today.year())).fileName();
    if (years.contains(thisYear))
        schedule(thisYear);
    each(AnniversaryFilePath(folder), [&](const QByteArray& line, bool& found) {
        return anniversaryMatch(line, query.words(), today, found);
    });
    each(HolidayFilePath(folder), [&](const QByteArray& line, bool& found) {
        return ruleMatch(line, SearchKind::Holiday, query.words(), today, found);
    });
    each(EventFilePath(folder), [&](const QByteArray& line, bool& found) {
        return ruleMatch(line, SearchKind::Event, query.words(), today, found);
    });
    if (firstResults && !outcome.stopped) {
        SearchOutcome first = outcome;
        orderOutcome(first, today);
        firstResults(first);
    }
    for (const QString& name : years)
        if (name != thisYear)
            schedule(name);
    orderOutcome(outcome, today);
    return outcome;
}
