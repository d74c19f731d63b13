#pragma once

class QObject;
class QString;
class QWidget;
class YearTables;

// What needs the network, the desktop's password store, iCalendar or a printer: the sync, the
// iCalendar export and import, and printing. These libraries take a fifth of a start to load,
// so the program keeps this part in a module of its own, loaded at its first use, after the
// main window's first paint. Builds that link it in (the tests) use it directly.
struct KalendoExtras {
    // Starts the sync beside the windows: the menu's sync commands, the state on the status
    // bar, the month refreshed when the sync changed the data; it ends with owner.
    void (*startSync)(QObject* owner);
    // A save in the day list: the sync runs soon (nothing when it is not started).
    void (*syncSoon)();
    void (*exportCalendar)(QWidget* over);
    // 1 when entries were written.
    int (*importCalendar)(QWidget* over);
    void (*printMonth)(QWidget* parent, const YearTables& tables, int year, int month);
    void (*saveMonthPdf)(QWidget* parent, const YearTables& tables, int year, int month);
};

// The one symbol the module exports for the program to find.
#define KALENDO_EXTRAS_ENTRY "KalendoExtrasEntry"
extern "C" const KalendoExtras* KalendoExtrasEntry();

// The extras, loaded on the first call. When the module cannot be loaded: null, and the reason
// in ExtrasError.
const KalendoExtras* Extras();
QString ExtrasError();
// For a menu command: the extras, or null after telling the user why they are missing.
const KalendoExtras* ExtrasOrTell(QWidget* parent);
