#include "monthview/HintHook.h"

#include "data/ShownText.h"
#include "widgets/OnScreen.h"
#include "widgets/UiLook.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolTip>

namespace {
// The pause before asking again after the mouse has left a hint's rectangle, and how long a
// hint stays (the toolkit's own tooltip timing).
constexpr int ShortPause = 50;
constexpr int HidePause = 10000;
} // namespace

QPoint FitHintOnScreen(QPoint pos, const QSize& size, const QRect& anchor, const QRect& screen) {
    if (pos.y() + size.height() > screen.bottom() + 1)
        pos.setY(anchor.top() - size.height());
    if (pos.x() + size.width() > screen.right() + 1)
        pos.setX(screen.right() + 1 - size.width());
    return QPoint(std::max(pos.x(), screen.left()), std::max(pos.y(), screen.top()));
}

THintHook::THintHook(QObject* parent) : QObject(parent) {
    m_reshow.setSingleShot(true);
    m_reshow.setInterval(ShortPause);
    m_expire.setSingleShot(true);
    connect(&m_reshow, &QTimer::timeout, this, [this] {
        if (m_control && m_mouseInControl)
            RequestHint(m_control, m_lastMouse);
    });
    connect(&m_expire, &QTimer::timeout, this, &THintHook::HideHint);
}

THintHook::~THintHook() {
    delete m_window;
}

bool THintHook::HintShowing() const {
    return m_window && m_window->isVisible();
}

void THintHook::HideHint() {
    m_expire.stop();
    if (m_window)
        m_window->hide();
}

void THintHook::RequestHint(QWidget* control, const QPoint& pos) {
    THintInfo info;
    info.HintControl = control;
    info.CursorPos = pos;
    info.HintStr = control->toolTip();
    info.HintColor = QToolTip::palette().color(QPalette::ToolTipBase);
    info.HintPos = control->mapToGlobal(pos) + QPoint(2, 16);
    info.CursorRect = control->rect();
    if (OnShowHint)
        OnShowHint(info);
    m_shown = info;
    m_control = control;
    if (info.HintStr.isEmpty()) {
        HideHint();
        return;
    }
    if (!m_window) {
        m_window = new QLabel(nullptr, Qt::ToolTip | Qt::BypassGraphicsProxyWidget);
        m_window->setObjectName(QStringLiteral("HintWindow"));
        m_window->setTextFormat(Qt::PlainText);
        m_window->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_window->setMargin(2);
        m_window->setAutoFillBackground(true);
    }
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::Window, info.HintColor);
    // Dark text on a light hint and light on a dark one, whatever the desktop's theme.
    palette.setColor(QPalette::WindowText,
                     qGray(info.HintColor.rgb()) >= 128 ? CellColors::Text : QColor(Qt::white));
    m_window->setPalette(palette);
    m_window->setFont(QToolTip::font());
    // However long a line of the data, the hint shows only what a screen can.
    const QString shown = CutLongLines(info.HintStr);
    m_window->setText(shown);
    m_window->adjustSize();
    m_window->move(info.HintPos);
    m_window->show();
    // Its size is final only once shown; a hint that would cross the screen's edge moves onto
    // it before it is painted.
    const QRect anchor(control->mapToGlobal(info.CursorRect.topLeft()), info.CursorRect.size());
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    m_window->move(FitHintOnScreen(info.HintPos, m_window->frameGeometry().size(), anchor,
                                   WholePixelArea(screen ? screen : control->screen())));
    m_expire.start(HidePause + 40 * std::max<qsizetype>(0, shown.size() - 100));
}

bool THintHook::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip:
        if (auto* control = qobject_cast<QWidget*>(watched)) {
            m_reshow.stop();
            RequestHint(control, static_cast<QHelpEvent*>(event)->pos());
            // A control the hook has no hint for keeps its own: a table's cells show their
            // tooltips.
            return !m_shown.HintStr.isEmpty();
        }
        break;
    case QEvent::MouseMove:
        if (watched == m_control) {
            m_mouseInControl = true;
            m_lastMouse = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (HintShowing() && !m_shown.CursorRect.contains(m_lastMouse)) {
                HideHint();
                m_reshow.start();
            }
        }
        break;
    case QEvent::Leave:
        if (watched == m_control) {
            m_mouseInControl = false;
            m_reshow.stop();
            HideHint();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        if (HintShowing() && watched != m_window) {
            m_reshow.stop();
            HideHint();
        }
        break;
    default:
        break;
    }
    return false;
}
