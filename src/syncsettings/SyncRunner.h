#pragma once

#include "sync/CalendarSync.h"
#include "syncsettings/SyncSettings.h"

#include <QObject>
#include <QSet>
#include <QTimer>

// Runs the sync beside the windows: at start, soon after a day list's OK, every 15 minutes,
// and when asked. The password comes from the desktop's keyring (QtKeychain); where none runs,
// the user is asked once per run and it stays in memory. The status line says when the last
// sync ended or what failed; a message box tells each cause of failure once per run, so that a
// server that comes and goes does not interrupt the user again and again.
class TSyncRunner : public QObject {
    Q_OBJECT
public:
    TSyncRunner(const QString& dataFolder, QWidget* window);

    void Start();            // at program start
    void SyncNow();          // ファイル → 今すぐ同期
    void SyncSoon();         // after a save
    void OpenSettings();     // 設定 → 同期 (CalDAV)
    void ShowYear(int year); // the month view went to a year: its occurrences come soon

signals:
    void Status(const QString& text);
    void DataChanged(); // lines came from the server: the month must be read again

private:
    void run(bool asked);
    void withPassword(const std::function<void(const QString&)>& go, bool asked);
    void finished(const SyncOutcome& outcome);
    void tell(const QString& cause, const QString& text);
    QString keyName() const;

    QString m_folder;
    QWidget* m_window;
    CalendarSync* m_sync;
    QTimer m_every;
    QTimer m_soon;
    SyncSettings m_settings;
    QString m_password; // for this run only, when no keyring holds it
    bool m_keyringFailed = false;
    bool m_again = false;
    QSet<QString> m_told;
};
