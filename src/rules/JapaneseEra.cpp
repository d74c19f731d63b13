#include "rules/JapaneseEra.h"

#include <array>

namespace {

struct Era {
    const char* name;
    int year, month, day; // the era's first day
};

// Latest first; each era begins on the day its predecessor ended.
constexpr std::array<Era, 5> Eras = {{{"令和", 2019, 5, 1},
                                      {"平成", 1989, 1, 8},
                                      {"昭和", 1926, 12, 25},
                                      {"大正", 1912, 7, 30},
                                      {"明治", 1868, 10, 23}}};

} // namespace

QString JapaneseEraYear(const QDate& date) {
    for (const Era& era : Eras) {
        if (date < QDate(era.year, era.month, era.day))
            continue;
        const int n = date.year() - era.year + 1;
        return QString::fromUtf8(era.name) + (n == 1 ? QStringLiteral("元") : QString::number(n)) +
               QStringLiteral("年");
    }
    return QString();
}
