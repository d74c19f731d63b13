#include "exchange/IcalHandle.h"

#include <QDateTime>
#include <QTimeZone>

icaltimezone* IcalZone(const QByteArray& zoneId) {
    if (zoneId == "UTC" || zoneId == "Etc/UTC")
        return icaltimezone_get_utc_timezone();
    return icaltimezone_get_builtin_timezone(zoneId.constData());
}

QByteArray ExchangeZoneId() {
    const QByteArray system = QTimeZone::systemTimeZoneId();
    const QTimeZone zone(system);
    const bool utc = zone.isValid() && zone.offsetFromUtc(QDateTime::currentDateTimeUtc()) == 0 &&
                     !zone.hasDaylightTime();
    if (!system.isEmpty() && !utc && IcalZone(system))
        return system;
    return QByteArrayLiteral("Asia/Tokyo");
}
