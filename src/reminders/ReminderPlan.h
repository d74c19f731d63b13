#pragma once

#include "reminders/ReminderSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One occurrence to remind of: a schedule entry of a day, or an anniversary in a year. Holiday
// and event rules are never reminded of: they are no plans of the user's.
struct Reminder {
    enum Kind { Timed, AllDay, Anniversary };
    Kind kind = Timed;
    // Names the occurrence in the record of those shown (ShownReminders): its kind, day, start
    // and title, so that a save that moves an entry makes a new occurrence and one that leaves it
    // alone does not.
    QByteArray key;
    QDate date;
    QDateTime due;
    // When the entry has passed and its notification is withdrawn: its end, else its start; the
    // day's end for all-day entries and anniversaries.
    QDateTime passes;
    QByteArray start; // "HH:MM" as stored, code page 932, empty for all-day entries
    QByteArray end;
    QByteArray title;
    QByteArray place;
    int years = 0; // anniversaries: the years since, -1 for one without a year

    // What a notification or Kalendo's own window shows.
    QString summary() const;
    QString body() const;
    // One line of a list of several: date, time and title.
    QString line() const;
};

// Every reminder due from `from` (included) to `to` (excluded), by due time, read from the data
// folder's schedule files and anniversary list. A file that cannot be read throws KalendoError.
QList<Reminder> PlanReminders(const QString& dataFolder, const ReminderSettings& settings,
                              const QDateTime& from, const QDateTime& to);

// The files PlanReminders reads for the same arguments, whether they exist or not: a plan
// changes only when one of them does.
QStringList PlanFiles(const QString& dataFolder, const ReminderSettings& settings,
                      const QDateTime& from, const QDateTime& to);

// The notification that stands for several reminders at once: those that fell due while
// Kalendo was not running or the computer slept.
QString MissedSummary(const QList<Reminder>& reminders);
QString MissedBody(const QList<Reminder>& reminders);
