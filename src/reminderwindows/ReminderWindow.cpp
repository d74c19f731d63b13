#include "reminderwindows/ReminderWindow.h"

#include "reminders/NotificationClient.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TReminderWindow::TReminderWindow(const QList<Reminder>& reminders, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_reminders(reminders) {
    setObjectName(QStringLiteral("TReminderWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A reminder left open never keeps Kalendo running once its main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Kalendo - お知らせ"));
    setWindowIcon(QIcon::fromTheme(NotificationClient::IconName()));
    const bool one = reminders.size() == 1;
    lblSummary = new QLabel(one ? reminders.first().summary() : MissedSummary(reminders), this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setTextFormat(Qt::PlainText);
    QFont bold = lblSummary->font();
    bold.setBold(true);
    lblSummary->setFont(bold);
    lblBody = new QLabel(one ? reminders.first().body() : MissedBody(reminders), this);
    lblBody->setObjectName(QStringLiteral("lblBody"));
    lblBody->setTextFormat(Qt::PlainText);
    btnOpen = new QPushButton(QStringLiteral("開く"), this);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    btnSnooze = new QPushButton(QStringLiteral("5分後に再通知"), this);
    btnSnooze->setObjectName(QStringLiteral("btnSnooze"));
    btnSnooze->setVisible(one);
    btnClose = new QPushButton(QStringLiteral("閉じる"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnOpen);
    buttons->addWidget(btnSnooze);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(lblBody);
    layout->addLayout(buttons);

    connect(btnOpen, &QPushButton::clicked, this, [this] {
        emit openRequested(m_reminders.first().date);
        close();
    });
    connect(btnSnooze, &QPushButton::clicked, this, [this] {
        emit snoozeRequested(m_reminders.first());
        close();
    });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    // The screen's top-right corner, where notifications usually appear.
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 16, area.top() + 16);
    }
}
