#include "syncsettings/SyncSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

QSettings settingsStore() {
    return QSettings(QStringLiteral("Vantree"), QStringLiteral("Kalendo"));
}

} // namespace

SyncSettings ReadSyncSettings() {
    QSettings store = settingsStore();
    store.beginGroup(QStringLiteral("Sync"));
    SyncSettings s;
    s.enabled = store.value(QStringLiteral("Enabled")).toBool();
    s.server = QUrl(store.value(QStringLiteral("Server")).toString());
    s.user = store.value(QStringLiteral("User")).toString();
    s.calendar = QUrl(store.value(QStringLiteral("Calendar")).toString());
    s.anniversaries = store.value(QStringLiteral("Anniversaries")).toBool();
    return s;
}

void WriteSyncSettings(const SyncSettings& s) {
    QSettings store = settingsStore();
    store.beginGroup(QStringLiteral("Sync"));
    store.setValue(QStringLiteral("Enabled"), s.enabled);
    store.setValue(QStringLiteral("Server"), s.server.toString());
    store.setValue(QStringLiteral("User"), s.user);
    store.setValue(QStringLiteral("Calendar"), s.calendar.toString());
    store.setValue(QStringLiteral("Anniversaries"), s.anniversaries);
}

TSyncSettingsForm::TSyncSettingsForm(QWidget* parent)
    : QDialog(parent), m_discovery(new CalDavDiscovery(this)) {
    setObjectName(QStringLiteral("SyncSettingsForm"));
    setWindowTitle(QStringLiteral("同期 (CalDAV)"));
    chkEnabled = new QCheckBox(QStringLiteral("CalDAVサーバーと同期する(&S)"), this);
    chkEnabled->setObjectName(QStringLiteral("chkEnabled"));
    editServer = new QLineEdit(this);
    editServer->setObjectName(QStringLiteral("editServer"));
    editServer->setPlaceholderText(QStringLiteral("https://example.com/"));
    editUser = new QLineEdit(this);
    editUser->setObjectName(QStringLiteral("editUser"));
    editPassword = new QLineEdit(this);
    editPassword->setObjectName(QStringLiteral("editPassword"));
    editPassword->setEchoMode(QLineEdit::Password);
    btnFind = new QPushButton(QStringLiteral("カレンダーを探す(&F)"), this);
    btnFind->setObjectName(QStringLiteral("btnFind"));
    comboCalendar = new QComboBox(this);
    comboCalendar->setObjectName(QStringLiteral("comboCalendar"));
    btnMake = new QPushButton(QStringLiteral("「Kalendo」を作る(&M)"), this);
    btnMake->setObjectName(QStringLiteral("btnMake"));
    btnMake->setEnabled(false);
    chkAnniversaries = new QCheckBox(QStringLiteral("記念日も同期する(&N)"), this);
    chkAnniversaries->setObjectName(QStringLiteral("chkAnniversaries"));
    chkAnniversaries->setToolTip(
        QStringLiteral("記念日を毎年の終日の予定として同じカレンダーに置きます。"
                       "外しても、どちらの側の記念日も消えません"));
    lblState = new QLabel(this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setWordWrap(true);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("サーバー(&A):"), editServer);
    form->addRow(QStringLiteral("ユーザー名(&U):"), editUser);
    form->addRow(QStringLiteral("パスワード(&P):"), editPassword);
    auto* calendarRow = new QHBoxLayout;
    calendarRow->addWidget(comboCalendar, 1);
    calendarRow->addWidget(btnMake);
    form->addRow(QString(), btnFind);
    // A row of two controls: its label's access key goes to the list.
    auto* lblCalendar = new QLabel(QStringLiteral("カレンダー(&C):"), this);
    lblCalendar->setBuddy(comboCalendar);
    form->addRow(lblCalendar, calendarRow);
    form->addRow(QString(), chkAnniversaries);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkEnabled);
    layout->addLayout(form);
    layout->addWidget(lblState);
    layout->addLayout(buttons);

    connect(btnFind, &QPushButton::clicked, this, &TSyncSettingsForm::btnFindClick);
    connect(btnMake, &QPushButton::clicked, this, &TSyncSettingsForm::btnMakeClick);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_discovery, &CalDavDiscovery::found, this,
            [this](const QList<DavCalendar>& calendars) {
                showCalendars(calendars, comboCalendar->currentData().toUrl());
            });
    connect(m_discovery, &CalDavDiscovery::made, this, [this](const QUrl& calendar) {
        showCalendars({{calendar, QStringLiteral("Kalendo")}}, calendar);
    });
    connect(m_discovery, &CalDavDiscovery::failed, this, [this](const QString& message) {
        lblState->setText(message);
        btnFind->setEnabled(true);
    });
}

void TSyncSettingsForm::Load(const SyncSettings& settings, const QString& password) {
    chkEnabled->setChecked(settings.enabled);
    editServer->setText(settings.server.toString());
    editUser->setText(settings.user);
    editPassword->setText(password);
    chkAnniversaries->setChecked(settings.anniversaries);
    comboCalendar->clear();
    if (settings.calendar.isValid())
        comboCalendar->addItem(settings.calendar.path(), settings.calendar);
    lblState->clear();
}

SyncSettings TSyncSettingsForm::Settings() const {
    return {chkEnabled->isChecked(), QUrl::fromUserInput(editServer->text().trimmed()),
            editUser->text().trimmed(), comboCalendar->currentData().toUrl(),
            chkAnniversaries->isChecked()};
}

QString TSyncSettingsForm::Password() const {
    return editPassword->text();
}

void TSyncSettingsForm::btnFindClick() {
    lblState->setText(QStringLiteral("カレンダーを探しています…"));
    btnFind->setEnabled(false);
    m_discovery->start(Settings().server, Settings().user, Password());
}

void TSyncSettingsForm::btnMakeClick() {
    lblState->setText(QStringLiteral("カレンダー「Kalendo」を作っています…"));
    m_discovery->makeCalendar(Settings().user, Password());
}

void TSyncSettingsForm::showCalendars(const QList<DavCalendar>& calendars, const QUrl& select) {
    btnFind->setEnabled(true);
    btnMake->setEnabled(!m_discovery->home().isEmpty());
    if (calendars.isEmpty() && comboCalendar->count() == 0) {
        lblState->setText(QStringLiteral("予定を置けるカレンダーがありません。"
                                         "「Kalendo」を作ってください"));
        return;
    }
    comboCalendar->clear();
    for (const DavCalendar& c : calendars) {
        comboCalendar->addItem(c.name, c.url);
        if (c.url == select)
            comboCalendar->setCurrentIndex(comboCalendar->count() - 1);
    }
    lblState->setText(QStringLiteral("%1 個のカレンダーが見つかりました").arg(calendars.size()));
}
