#include "app/Splash.h"

#include "widgets/UiLook.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {
// How long the splash waits for the screen to take its window before painting anyway.
constexpr int ExposeWait = 500;
} // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      lblTitle(new QLabel(this)) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(QStringLiteral("しばらくおまちください…"));
    setFixedSize(385, 80);
    setFont(GothicFont(15));
    // The button face as the window's own colour, so that labels keep their window-text colours.
    SetWindowColor(this, ButtonFace());

    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(0, 17, 385, 41);
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setFont(GothicFont(15, true));
    SetLegibleTextColor(lblTitle, QPalette::WindowText, QColor(0x00, 0x00, 0x80));
}

void TSplashForm::ShowNow() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    // A new window can be painted only once the screen has taken it; wait for that without
    // handling the user's input, then paint.
    QDeadlineTimer deadline(ExposeWait);
    QTimer wake;
    wake.start(20);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    // Taking the window usually paints it at once; painting it again would only repeat that.
    if (!m_painted)
        repaint();
}

void TSplashForm::paintEvent(QPaintEvent* event) {
    m_painted = true;
    QWidget::paintEvent(event);
}

void TSplashForm::CloseSplash() {
    hide();
}
