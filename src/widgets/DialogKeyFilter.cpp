#include "widgets/DialogKeyFilter.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

DialogKeyFilter::DialogKeyFilter(QWidget* dialog, Handler handler)
    : QObject(dialog), m_dialog(dialog), m_handler(std::move(handler)) {}

DialogKeyFilter* DialogKeyFilter::install(QWidget* dialog, Handler handler) {
    if (!handler)
        handler = [dialog](QKeyEvent* e) { return handleKey(dialog, e); };
    auto* filter = new DialogKeyFilter(dialog, std::move(handler));
    dialog->installEventFilter(filter);
    for (QWidget* child : dialog->findChildren<QWidget*>())
        child->installEventFilter(filter);
    return filter;
}

bool DialogKeyFilter::handleKey(QWidget* dialog, QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(dialog->focusWidget());
            button && button->isEnabled()) {
            button->click();
            return true;
        }
        moveFocus(dialog, true);
        return true;
    case Qt::Key_Escape:
        moveFocus(dialog, false);
        return true;
    default:
        return false;
    }
}

void DialogKeyFilter::moveFocus(QWidget* dialog, bool forward) {
    QWidget* start = dialog->focusWidget();
    if (!start)
        start = dialog;
    QWidget* w = start;
    do {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        // The inner part of a compound control (a date picker's text) hands the focus back to
        // the control it belongs to; that is no move.
        QWidget* target = w;
        while (target->focusProxy())
            target = target->focusProxy();
        const bool candidate = w != dialog && dialog->isAncestorOf(w) && w->isEnabled() &&
                               w->isVisibleTo(dialog) && (w->focusPolicy() & Qt::TabFocus) &&
                               target != start;
        if (candidate) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    } while (w != start);
}

bool DialogKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool ours = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                          key->key() == Qt::Key_Escape;
        // Shortcuts must not take Enter or Escape from the dialog either.
        if (event->type() == QEvent::ShortcutOverride) {
            if (ours) {
                key->accept();
                return true;
            }
            return false;
        }
        // Only the widget the key was sent to handles it, not each parent it passes.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget != m_dialog->focusWidget() && widget != m_dialog)
            return false;
        if (m_handler(key)) {
            key->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
