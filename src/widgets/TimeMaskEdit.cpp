#include "widgets/TimeMaskEdit.h"

#include "rules/DaySchedule.h"

#include <QFocusEvent>

TimeMaskEdit::TimeMaskEdit(QWidget* parent) : QLineEdit(parent) {
    setInputMask(QStringLiteral("99:99; "));
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferNumbers);
}

void TimeMaskEdit::setStoredTime(const QByteArray& stored) {
    m_stored = stored;
    setText(StoredTimeText(stored));
    m_storedText = text();
}

void TimeMaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Leaving the window (another application, a menu) is not leaving the box, and
    // a disabled box gives up the focus without the user leaving it.
    if (isEnabled() && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason)
        emit exited();
}
