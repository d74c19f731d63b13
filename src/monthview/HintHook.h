#pragma once

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <functional>

class QLabel;
class QWidget;

// One hint request, which the hook may change in place.
struct THintInfo {
    QWidget* HintControl = nullptr; // the control the hint is for
    QPoint CursorPos;               // the mouse, in the control's coordinates
    QString HintStr;                // empty: no hint
    QColor HintColor;
    QPoint HintPos;   // the hint's top-left corner on the screen
    QRect CursorRect; // in the control's coordinates; leaving it ends the hint
};

// Where a hint of a size shows so that it stays on the screen: at pos where it fits; above the
// rectangle it belongs to (anchor, on the screen) when there is no room below; shifted left
// when there is no room on the right.
QPoint FitHintOnScreen(QPoint pos, const QSize& size, const QRect& anchor, const QRect& screen);

// The application-wide hint hook. Installed as an event filter on the application, it turns
// every hint request of any control (the toolkit's tooltip event, after its usual delay) into a
// THintInfo, lets the handler change it and shows the result in its own hint window. A hint
// lasts while the mouse stays in its cursor rectangle; moving out of it into another part of
// the same control asks again after a short pause, so each cell of a grid gets its own hint.
class THintHook : public QObject {
    Q_OBJECT
public:
    explicit THintHook(QObject* parent = nullptr);
    ~THintHook() override;

    std::function<void(THintInfo&)> OnShowHint;

    // Runs one hint request for a control at a position in it, as the tooltip event does.
    void RequestHint(QWidget* control, const QPoint& pos);
    void HideHint();

    // The hint window and the request it shows (tests look at them).
    QLabel* HintWindow() const { return m_window; }
    const THintInfo& ShownHint() const { return m_shown; }
    bool HintShowing() const;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_window = nullptr;
    THintInfo m_shown;
    QPointer<QWidget> m_control; // the control of the last request
    bool m_mouseInControl = false;
    QPoint m_lastMouse;
    QTimer m_reshow;
    QTimer m_expire;
};
