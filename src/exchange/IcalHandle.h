#pragma once

#include <QByteArray>

#include <libical/ical.h>
#include <memory>

// Owns a libical component tree; the root frees its children.
struct IcalComponentFree {
    void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using IcalComponent = std::unique_ptr<icalcomponent, IcalComponentFree>;

// The zone the times of the data folder are in, as an IANA name: the system's zone when libical
// knows it and it is not UTC, else Asia/Tokyo (the calendar's holidays are Japan's).
QByteArray ExchangeZoneId();
// libical's zone for an IANA name (UTC for "UTC"), or nullptr when it has none.
icaltimezone* IcalZone(const QByteArray& zoneId);
