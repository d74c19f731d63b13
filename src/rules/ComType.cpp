#include "rules/ComType.h"

#include "rules/DataPlaces.h"

#include <QCoreApplication>

const std::array<QString, 7> WeekdayNames = {
    QStringLiteral("日"), QStringLiteral("月"), QStringLiteral("火"), QStringLiteral("水"),
    QStringLiteral("木"), QStringLiteral("金"), QStringLiteral("土")};

const std::array<int, 13> MonthDays = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

TAppVersion AppVersion;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12)
        return 0;
    return MonthDays[size_t(month)] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

QString ProgramDataFolder() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + DataFolderName;
}

namespace {
QString overriddenDataFolder;
}

QString DataFolder() {
    return overriddenDataFolder.isEmpty() ? ChooseDataFolder(ProgramDataPlaces()).folder
                                          : overriddenDataFolder;
}

void SetDataFolder(const QString& folder) {
    overriddenDataFolder = folder;
    if (!overriddenDataFolder.isEmpty() && !overriddenDataFolder.endsWith(QLatin1Char('/')))
        overriddenDataFolder += QLatin1Char('/');
}

QString EventFilePath(const QString& dataFolder) {
    return dataFolder + EventFileName;
}
QString HolidayFilePath(const QString& dataFolder) {
    return dataFolder + HolidayFileName;
}
QString AnniversaryFilePath(const QString& dataFolder) {
    return dataFolder + AnniversaryFileName;
}

QString ScheduleFilePath(const QString& dataFolder, int year) {
    return dataFolder + QString::asprintf("%.4d", year) + QStringLiteral(".csv");
}
