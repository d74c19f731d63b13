#include "syncsettings/SyncRunner.h"

#include "widgets/FormParts.h"

#include <QApplication>
#include <QDateTime>
#include <QInputDialog>
#include <QMessageBox>
#include <qt6keychain/keychain.h>

namespace {

constexpr int EveryMs = 15 * 60 * 1000;
// A few seconds after a save, so that saving several days in a row makes one sync.
constexpr int SoonMs = 3000;
const QString KeyringService = QStringLiteral("Kalendo CalDAV");

} // namespace

TSyncRunner::TSyncRunner(const QString& dataFolder, QWidget* window)
    : QObject(window), m_folder(dataFolder), m_window(window),
      m_sync(new CalendarSync(dataFolder, this)) {
    m_every.setInterval(EveryMs);
    m_soon.setInterval(SoonMs);
    m_soon.setSingleShot(true);
    connect(&m_every, &QTimer::timeout, this, [this] { run(false); });
    connect(&m_soon, &QTimer::timeout, this, [this] { run(false); });
    connect(m_sync, &CalendarSync::finished, this, &TSyncRunner::finished);
}

QString TSyncRunner::keyName() const {
    return m_settings.user + QLatin1Char('@') + m_settings.server.host();
}

void TSyncRunner::Start() {
    m_settings = ReadSyncSettings();
    m_every.start();
    run(false);
}

void TSyncRunner::SyncNow() {
    run(true);
}

void TSyncRunner::ShowYear(int year) {
    if (m_sync->showYear(year))
        SyncSoon();
}

void TSyncRunner::SyncSoon() {
    if (m_settings.enabled)
        m_soon.start();
}

void TSyncRunner::run(bool asked) {
    m_settings = ReadSyncSettings();
    if (!m_settings.enabled || !m_settings.calendar.isValid()) {
        if (asked)
            tell(QStringLiteral("settings"),
                 QStringLiteral("同期の設定がありません。設定 → 同期 (CalDAV) で設定してください"));
        return;
    }
    if (m_sync->isRunning()) {
        m_again = true; // once this one ends
        return;
    }
    // A list window open holds the lines it read; a sync writing the same file under it would
    // be undone by its OK. The sync waits until it closes.
    if (QApplication::activeModalWidget()) {
        m_soon.start();
        return;
    }
    withPassword(
        [this](const QString& password) {
            emit Status(QStringLiteral("同期中…"));
            m_sync->start(
                {m_settings.calendar, m_settings.user, password, m_settings.anniversaries});
        },
        asked);
}

void TSyncRunner::withPassword(const std::function<void(const QString&)>& go, bool asked) {
    if (!m_password.isEmpty()) {
        go(m_password);
        return;
    }
    const auto ask = [this, go, asked] {
        // Only when the user is there to answer: a timer never pops a question up.
        if (!asked && !m_window->isActiveWindow())
            return;
        bool ok = false;
        const QString password = QInputDialog::getText(
            m_window, QStringLiteral("同期 (CalDAV)"),
            QStringLiteral("%1 のパスワード:").arg(keyName()), QLineEdit::Password, QString(), &ok);
        if (ok && !password.isEmpty()) {
            m_password = password;
            go(password);
        }
    };
    if (m_keyringFailed) {
        ask();
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(KeyringService, this);
    job->setKey(keyName());
    connect(job, &QKeychain::Job::finished, this, [this, job, go, ask] {
        if (job->error() == QKeychain::NoError && !job->textData().isEmpty()) {
            go(job->textData());
            return;
        }
        m_keyringFailed = job->error() != QKeychain::EntryNotFound;
        ask();
    });
    job->start();
}

void TSyncRunner::OpenSettings() {
    TSyncSettingsForm form(m_window);
    form.Load(ReadSyncSettings(), m_password);
    if (form.exec() != QDialog::Accepted)
        return;
    m_settings = form.Settings();
    WriteSyncSettings(m_settings);
    if (!m_settings.enabled)
        emit Status(QString()); // nothing to tell of a sync turned off
    const QString password = form.Password();
    if (password.isEmpty())
        return;
    m_password = password; // until the keyring has it
    auto* job = new QKeychain::WritePasswordJob(KeyringService, this);
    job->setKey(keyName());
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() == QKeychain::NoError)
            m_password.clear();
        else
            m_keyringFailed = true;
        run(false);
    });
    job->start();
}

void TSyncRunner::finished(const SyncOutcome& outcome) {
    if (outcome.received > 0 || outcome.conflicts > 0)
        emit DataChanged();
    const QString at = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"));
    if (outcome.ok) {
        QString text = QStringLiteral("同期: %1").arg(at);
        if (outcome.conflicts > 0)
            text += QStringLiteral("（両方で変更された予定 %1 件は「競合: …」として残しました）")
                        .arg(outcome.conflicts);
        emit Status(text);
    } else {
        if (outcome.cause == QLatin1String("login"))
            m_password.clear(); // asked again next time
        emit Status(QStringLiteral("同期失敗 %1: %2").arg(at, outcome.message));
        tell(outcome.cause, outcome.message);
    }
    if (std::exchange(m_again, false))
        m_soon.start();
}

void TSyncRunner::tell(const QString& cause, const QString& text) {
    if (m_told.contains(cause))
        return;
    m_told.insert(cause);
    ShowMessageBox(m_window->isVisible() ? m_window : nullptr, QMessageBox::Warning,
                   QStringLiteral("同期 (CalDAV)"), text);
}
