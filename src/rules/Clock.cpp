#include "rules/Clock.h"

namespace {
QDateTime fixedNow;
}

namespace Clock {

QDateTime now() {
    return fixedNow.isValid() ? fixedNow : QDateTime::currentDateTime();
}

void setFixedNow(const QDateTime& moment) {
    fixedNow = moment;
}

} // namespace Clock
