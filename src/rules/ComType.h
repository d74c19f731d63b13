#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// Weekday names, index 0 = Sunday .. 6 = Saturday, the numbering of rule files and grid columns.
extern const std::array<QString, 7> WeekdayNames;
// Days of months 1..12 in a common year (index 0 unused); users add the leap day themselves.
extern const std::array<int, 13> MonthDays;

inline const QString DataFolderName = QStringLiteral("client/");
inline const QString EventFileName = QStringLiteral("event.csv");
inline const QString HolidayFileName = QStringLiteral("holiday.csv");
inline const QString AnniversaryFileName = QStringLiteral("anniversary.csv");

struct TAppVersion {
    qint32 Major = 0;
    qint32 Minor = 0;
    qint32 Release = 0;
    qint32 Build = 0;
    QString Text;
};
// Filled once when the main window is first shown.
extern TAppVersion AppVersion;

bool IsLeapYear(int year);
// Days of the month, the leap day included.
int DaysInMonth(int year, int month);

// client/ beside the running executable, with a trailing separator: the data folder of a
// portable copy. Never the working directory.
QString ProgramDataFolder();
// The data folder every window reads and writes: the one ChooseDataFolder() picks
// (rules/DataPlaces.h) unless set (the program sets the folder it prepared; tests set a
// temporary folder of their own).
QString DataFolder();
void SetDataFolder(const QString& folder);

// Paths under a data folder (which ends with a separator).
QString EventFilePath(const QString& dataFolder);
QString HolidayFilePath(const QString& dataFolder);
QString AnniversaryFilePath(const QString& dataFolder);
QString ScheduleFilePath(const QString& dataFolder, int year);
