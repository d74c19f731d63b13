#pragma once

#include "data/TextFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>


// Who each schedule entry is, so that another calendar can follow it through edits.
//
// A year's schedule file keeps its layout; the identities of its entries live beside it, in
// "<year>.uid.csv" of the same folder: one record per line of the year's file, holding that
// line's bytes and the entry's identity. Rules:
// - Whenever identities are read they are matched to the year's lines: by the line's bytes,
//   then by its cells with the number left out (renumbered, re-sorted, quoted otherwise), then by
//   the edits the day list reports (EntryEdit: time and texts changed at once), then by
//   date and texts (its time changed), then by date and time when only one line and one record
//   fit (its texts changed), then by everything but date and number when only one line and one
//   record fit (its date changed by hand; never a day of an event over several days, which
//   would stretch the event over the gap). A line no record fits gets a new UID; a record no
//   line fits is gone with its entry: an entry moved to another year's file is a new entry there. A
//   missing, hand-edited or damaged identity file never fails a read: its unreadable records are
//   left out and their lines get new UIDs, nothing else changes. An identity file that exists but
//   cannot be read at all (too large, a read error) fails the read (KalendoError), so that it is
//   never written anew with fewer identities.
// - A record that fits its line by an edit, by date and texts, by date and time or by another
//   day is a changed entry: its SEQUENCE grows by one and LAST-MODIFIED becomes now (Clock::now()).
// - Every save of a year's file is followed by RecordYearIdentities, which writes the identity
//   file through SaveTextLines: atomically, with its backup.
// - UIDs are unique within a year's records; an entry of several days (an imported event) may
//   share its UID and RECURRENCE-ID with the other days' entries.
struct EntryIdentity {
    QByteArray uid;
    // Empty, or the occurrence of an imported series this entry is, as iCalendar writes its
    // value: "20250310T090000Z", "20250310", or with its zone "TZID=Europe/Berlin:20250310T090000".
    QByteArray recurrenceId;
    int sequence = 0;
    // UTC; invalid when unknown.
    QDateTime lastModified;
    // Further facts of other parts, by name (upper-case ASCII, digits and '-'), e.g.
    // "ALARM" = a VALARM trigger such as "-PT15M", "CALDAV-HREF", "CALDAV-ETAG". Values are
    // any bytes; matching carries them along unchanged.
    QMap<QByteArray, QByteArray> properties;

    bool operator==(const EntryIdentity&) const = default;
};

// An identity the caller knows for a line it has just written (an import keeps the file's UID).
struct KnownIdentity {
    QByteArray line;
    EntryIdentity identity;
};

// An entry the day list's editor changed: its line (or row written as one) before and after,
// compared by their cells without the number. It keeps its identity whatever changed.
struct EntryEdit {
    QByteArray before;
    QByteArray after;
};

// A year's entries with their identities, in the order of the year file's lines.
class YearIdentities {
public:
    // Matches identityLines (the identity file's lines) to yearLines (the year file's) by the
    // rules above; known lines are matched first, each once, and take the identity given;
    // edits right after the lines' bytes and cells (as a changed entry).
    static YearIdentities match(const TextLines& yearLines, const TextLines& identityLines,
                                const QList<KnownIdentity>& known = {},
                                const QList<EntryEdit>& edits = {});
    // The same with both files read from the data folder; throws as LoadTextLines does for a
    // year or identity file that cannot be read (a missing one has no lines).
    static YearIdentities read(const QString& dataFolder, int year);

    qsizetype size() const { return m_lines.size(); }
    const QByteArray& line(qsizetype i) const { return m_lines.at(i); }
    const EntryIdentity& identity(qsizetype i) const { return m_identities.at(i); }
    // For a caller that changes a property (a reminder's lead time) before WriteYearIdentities.
    EntryIdentity& identity(qsizetype i) { return m_identities[i]; }

    // The first line with this UID and RECURRENCE-ID, or -1.
    qsizetype find(const QByteArray& uid, const QByteArray& recurrenceId = {}) const;

    // Whether the identity file differs from what matching made: a line got a new UID, a record
    // changed or was dropped.
    bool changed() const { return m_changed; }

private:
    friend class YearIdentitiesBuilder;
    TextLines m_lines;
    QList<EntryIdentity> m_identities;
    bool m_changed = false;
};

QString IdentityFilePath(const QString& dataFolder, int year);

// An entry whose stored text is only what Kalendo could keep of another calendar's (characters
// code page 932 cannot hold left out, line breaks made blanks, cut to its field) carries this
// property, valued InexactTextMark of its texts as stored: once its text is changed here the
// mark no longer fits, and the entry is its own again.
inline constexpr char InexactTextProperty[] = "CALDAV-INEXACT";
QByteArray InexactTextMark(const QByteArray& title, const QByteArray& place,
                           const QByteArray& memo);
// What tells a schedule line (its cells, as EntryCells or a list row gives them) from another
// day's or another text, leaving its number out: the key InexactTextKeys gives.
QByteArray InexactTextKey(const QList<QByteArray>& cells);
// The keys of the year's lines whose text is marked as not exactly the other calendar's, for
// the day list and the hint to show 「※」 before them. Reads the identity file once, and the
// year's file only when a record names the mark; a file that cannot be read gives none.
QSet<QByteArray> InexactTextKeys(const QString& dataFolder, int year);

// The identities of some days' lines of a year (dayLines: those days' lines as the year's file
// holds them), for a caller that looks at a few days of a year of many lines: only the identity
// records that hold one of the dates are matched, and as every other way of matching goes by the
// line's date, each line gets the identity matching the whole year gives it, except that a line
// whose date was changed by hand gets a new UID until the year's identities are recorded again
// (whether it is the only line that fits its record needs all the year). Nothing when there is no
// identity file; throws as LoadTextLines does for one that cannot be read. Writes nothing.
std::optional<YearIdentities> DayLineIdentities(const QString& dataFolder, int year,
                                                const QList<QDate>& dates,
                                                const TextLines& dayLines);

// A schedule line's seven cells with their blanks trimmed: what identities compare. Large cells
// share the bytes of owner (or of the line given as an array), as ListLineToRow's do.
QList<QByteArray> EntryCells(QByteArrayView line, const QByteArray* owner = nullptr);
inline QList<QByteArray> EntryCells(const QByteArray& line) {
    return EntryCells(QByteArrayView(line), &line);
}

// Writes the year's identity file through SaveTextLines, unless it would be larger than
// MaxIdentityFileBytes, which no read takes (the file there then stays). The result: the messages
// for the user, if any (the backup not kept, or the identities not written; the year's file is
// saved either way, so this never throws).
QStringList WriteYearIdentities(const QString& dataFolder, int year, const YearIdentities& ids);

// To follow every save of a year's file: reads it again with the identities kept so far, matches
// them (known first) and writes the identity file when anything changed. Messages as
// WriteYearIdentities; a year or identity file that cannot be read gives a message too, and the
// identity file is then left as it was.
// writtenHash: the BytesHasher hash of the year's bytes as the save just wrote them (SaveDay);
// while the identity file still fits them, neither file is read.
QStringList RecordYearIdentities(const QString& dataFolder, int year,
                                 const QList<KnownIdentity>& known = {},
                                 const QList<EntryEdit>& edits = {},
                                 const quint64* writtenHash = nullptr);
