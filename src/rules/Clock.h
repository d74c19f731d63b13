#pragma once

#include <QDate>
#include <QDateTime>

// "Now" for everything that asks the calendar for today. Tests fix it; the program reads the
// system clock.
namespace Clock {

QDateTime now();
inline QDate today() {
    return now().date();
}

// Fixes now() at a moment (tests); an invalid QDateTime returns to the system clock.
void setFixedNow(const QDateTime& moment);

} // namespace Clock
