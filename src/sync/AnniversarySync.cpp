#include "sync/AnniversarySync.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "exchange/TextFit.h"
#include "rules/ComType.h"
#include "rules/ListFile.h"
#include "rules/RuleEntry.h"
#include "sync/LocalEntries.h"

#include <QCryptographicHash>

namespace {

bool onlyEmpty(const short* list) {
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

// A BY list that is empty or names only this value.
bool onlyValue(const short* list, int value) {
    return onlyEmpty(list) || (list[0] == value && list[1] == ICAL_RECURRENCE_ARRAY_MAX);
}

bool yearlyWithoutEnd(icalcomponent* event, const icaltimetype& start) {
    icalproperty* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (!rule || icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY))
        return false;
    const icalrecurrencetype r = icalproperty_get_rrule(rule);
    return r.freq == ICAL_YEARLY_RECURRENCE && r.count == 0 && icaltime_is_null_time(r.until) &&
           r.interval <= 1 && onlyEmpty(r.by_second) && onlyEmpty(r.by_minute) &&
           onlyEmpty(r.by_hour) && onlyEmpty(r.by_day) && onlyEmpty(r.by_year_day) &&
           onlyEmpty(r.by_week_no) && onlyEmpty(r.by_set_pos) &&
           onlyValue(r.by_month, start.month) && onlyValue(r.by_month_day, start.day) &&
           (!r.rscale || QByteArray(r.rscale).compare("GREGORIAN", Qt::CaseInsensitive) == 0);
}

// Whether the event's start says its year means nothing: X-APPLE-OMIT-YEAR naming that year.
bool yearOmitted(icalcomponent* event, int year) {
    icalproperty* start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    for (icalparameter* p = start ? icalproperty_get_first_parameter(start, ICAL_X_PARAMETER)
                                  : nullptr;
         p; p = icalproperty_get_next_parameter(start, ICAL_X_PARAMETER)) {
        const char* name = icalparameter_get_xname(p);
        const char* value = icalparameter_get_xvalue(p);
        if (name && value && qstricmp(name, IcsOmitYear) == 0)
            return QByteArray(value).trimmed() == QByteArray::number(year);
    }
    return false;
}

QByteArray dateText(const QDate& date, bool noYear) {
    const QByteArray text = AnniversaryDateText(date);
    return noYear ? AnniversaryNoYear + text.mid(4) : text;
}

} // namespace

QByteArray AnniversaryHash(const QDate& date, bool noYear, const QByteArray& title) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(dateText(date, noYear));
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(FittedField(title, AnniversaryTitleBytes));
    return hash.result().toHex().left(32);
}

QByteArray AnniversaryLine(const QDate& date, bool noYear, const QByteArray& title) {
    // The month shows the title between the commas as it stands, quotes and all: quoted only
    // where it must be to read back.
    const bool plain = !title.isEmpty() && title == title.trimmed() && !title.contains(',') &&
                       !title.contains('"');
    return (plain ? dateText(date, noYear) + ',' + title
                  : RowToCommaLine({dateText(date, noYear), title})) +
           ',';
}

QList<LocalAnniversary> ReadLocalAnniversaries(const QString& dataFolder, FileStamp* stamp) {
    QList<LocalAnniversary> out;
    for (const QByteArray& line : LoadTextLines(AnniversaryFilePath(dataFolder), stamp)) {
        const Row row = LineRow(line, 2);
        LocalAnniversary a{line, {}, false, row.at(1).trimmed(), {}};
        try {
            a.date = AnniversaryDayFromText(row.at(0), a.noYear);
        } catch (const KalendoError&) {
            continue; // the month cannot show it either
        }
        if (a.title.isEmpty())
            continue;
        a.hash = AnniversaryHash(a.date, a.noYear, a.title);
        out << a;
    }
    return out;
}

std::optional<ServerAnniversary> AnniversaryOfEvent(const QByteArray& ics) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    if (!root)
        return std::nullopt;
    icalcomponent* calendar = root.get();
    icalcomponent* event = icalcomponent_isa(calendar) == ICAL_VEVENT_COMPONENT
                               ? calendar
                               : icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    if (!event ||
        (event != calendar && icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)))
        return std::nullopt;
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !start.is_date || !yearlyWithoutEnd(event, start))
        return std::nullopt;
    for (const icalproperty_kind kind : {ICAL_EXDATE_PROPERTY, ICAL_RDATE_PROPERTY,
                                         ICAL_EXRULE_PROPERTY, ICAL_RECURRENCEID_PROPERTY})
        if (icalcomponent_get_first_property(event, kind))
            return std::nullopt;
    if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED)
        return std::nullopt;
    // One day long: no end, or an end the next day.
    if (icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY) ||
        icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        const icaltimetype end = icalcomponent_get_dtend(event);
        if (icaltime_is_null_time(end) ||
            icaldurationtype_as_int(icaltime_subtract(end, start)) > 24 * 60 * 60)
            return std::nullopt;
    }
    const bool noYear = yearOmitted(event, start.year);
    const QDate date(noYear ? AnniversaryNoYearIn : start.year, start.month, start.day);
    const char* summary = icalcomponent_get_summary(event);
    const QByteArray title =
        FitToCp932(QString::fromUtf8(summary ? summary : "").trimmed(), AnniversaryTitleBytes)
            .bytes.trimmed();
    if (!date.isValid() || date.year() < 1 || date.year() > 9999 || title.isEmpty())
        return std::nullopt;
    return ServerAnniversary{date, noYear, title};
}

QStringList ApplyAnniversaryChanges(const QString& dataFolder, const QByteArrayList& removals,
                                    const QByteArrayList& additions) {
    const QString path = AnniversaryFilePath(dataFolder);
    // A program that keeps writing the file gives way after a few tries.
    constexpr int Tries = 5;
    for (int attempt = 0;; ++attempt) {
        FileStamp stamp;
        TextLines lines = LoadTextLines(path, &stamp);
        QByteArrayList remove = removals;
        for (qsizetype i = lines.size() - 1; i >= 0 && !remove.isEmpty(); --i)
            if (remove.removeOne(lines.at(i)))
                lines.removeAt(i);
        for (const QByteArray& line : additions) {
            // Newest first, as the list writes them: before the first line of an earlier date.
            const QByteArray date = LineRow(line, 2).at(0).trimmed();
            qsizetype at = 0;
            while (at < lines.size() && LineRow(lines.at(at), 2).at(0).trimmed() >= date)
                ++at;
            lines.insert(at, line);
        }
        try {
            const QString backupFailure = SaveTextLines(path, lines, &stamp);
            return backupFailure.isEmpty() ? QStringList() : QStringList{backupFailure};
        } catch (const FileChangedError&) {
            if (attempt + 1 < Tries)
                continue;
            throw KalendoError(
                QStringLiteral("他のプログラムが書き込みを続けているため、保存できませんでした") +
                QLatin1Char('\n') + path);
        }
    }
}
