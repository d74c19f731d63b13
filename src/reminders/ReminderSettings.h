#pragma once

#include <QTime>

// What 設定 → 通知 chooses, kept in the user's settings (group Reminders).
struct ReminderSettings {
    bool enabled = true;
    // Minutes before a timed entry's start.
    int leadMinutes = 10;
    // The time of day all-day entries are reminded at; invalid: they are not.
    QTime allDayTime = QTime(9, 0);
    // Anniversaries are reminded on the day at allDayTime, or at 9:00 when all-day entries are not.
    bool anniversaries = true;

    bool operator==(const ReminderSettings&) const = default;
};

// The largest lead time offered: a day.
constexpr int MaxLeadMinutes = 24 * 60;

// Missing or unreadable values read as the defaults above.
ReminderSettings ReadReminderSettings();
void WriteReminderSettings(const ReminderSettings& settings);
