#include "reminders/ReminderSettings.h"

#include <QSettings>

namespace {

QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
                     QStringLiteral("Kalendo"));
}

const QString EnabledKey = QStringLiteral("Reminders/Enabled");
const QString LeadKey = QStringLiteral("Reminders/LeadMinutes");
const QString AllDayKey = QStringLiteral("Reminders/AllDayTime");
const QString AnniversariesKey = QStringLiteral("Reminders/Anniversaries");

} // namespace

ReminderSettings ReadReminderSettings() {
    const QSettings settings = userSettings();
    ReminderSettings s;
    s.enabled = settings.value(EnabledKey, s.enabled).toBool();
    bool ok = false;
    const int lead = settings.value(LeadKey).toInt(&ok);
    if (ok && lead >= 0 && lead <= MaxLeadMinutes)
        s.leadMinutes = lead;
    if (settings.contains(AllDayKey)) {
        const QString text = settings.value(AllDayKey).toString();
        s.allDayTime = text == QStringLiteral("off")
                           ? QTime()
                           : QTime::fromString(text, QStringLiteral("HH:mm"));
        if (text != QStringLiteral("off") && !s.allDayTime.isValid())
            s.allDayTime = ReminderSettings().allDayTime;
    }
    s.anniversaries = settings.value(AnniversariesKey, s.anniversaries).toBool();
    return s;
}

void WriteReminderSettings(const ReminderSettings& s) {
    QSettings settings = userSettings();
    settings.setValue(EnabledKey, s.enabled);
    settings.setValue(LeadKey, s.leadMinutes);
    settings.setValue(AllDayKey, s.allDayTime.isValid()
                                     ? s.allDayTime.toString(QStringLiteral("HH:mm"))
                                     : QStringLiteral("off"));
    settings.setValue(AnniversariesKey, s.anniversaries);
}
