#pragma once

#include "sync/CalDavDiscovery.h"

#include <QDialog>
#include <QUrl>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the settings file keeps of the account: never the password.
struct SyncSettings {
    bool enabled = false;
    QUrl server;
    QString user;
    QUrl calendar;
    bool anniversaries = false; // the anniversary file syncs too
};
SyncSettings ReadSyncSettings();
void WriteSyncSettings(const SyncSettings& settings);

// 設定 → 同期 (CalDAV): the server's address, the user and password, the calendar found there
// (or a new one named Kalendo). OK keeps the settings; the password goes to the runner, which
// keeps it in the keyring or in memory.
class TSyncSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSyncSettingsForm(QWidget* parent = nullptr);

    // Fills the fields from the settings and the password known (may be empty).
    void Load(const SyncSettings& settings, const QString& password);
    SyncSettings Settings() const;
    QString Password() const;

    QCheckBox* chkEnabled;
    QCheckBox* chkAnniversaries;
    QLineEdit* editServer;
    QLineEdit* editUser;
    QLineEdit* editPassword;
    QPushButton* btnFind;
    QComboBox* comboCalendar;
    QPushButton* btnMake;
    QLabel* lblState;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void btnFindClick();
    void btnMakeClick();

private:
    void showCalendars(const QList<DavCalendar>& calendars, const QUrl& select);

    CalDavDiscovery* m_discovery;
};
