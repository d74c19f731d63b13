#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

// Enter and Escape in the editor dialogs: Enter moves the focus to the next control, Escape to
// the previous one, as Tab and Shift+Tab do; neither closes the dialog. Disabled and hidden
// controls are skipped; Enter on a focused button presses it.
//
// Usage, once the dialog's controls exist:
//   DialogKeyFilter::install(this);                                   // the standard rule
//   DialogKeyFilter::install(this, [this](QKeyEvent* e) { return FormKeyPress(e); });
// The handler sees every key press of the dialog and its controls before the focused control
// does, and returns true when it consumed the key; a FormKeyPress handler may fall back on
// DialogKeyFilter::handleKey(this, e).
class DialogKeyFilter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool(QKeyEvent*)>;

    // Installs the filter on the dialog and every widget in it, now.
    static DialogKeyFilter* install(QWidget* dialog, Handler handler = {});

    // The standard rule for one key press; true when the key was Enter or Escape.
    static bool handleKey(QWidget* dialog, QKeyEvent* event);
    // Moves the focus to the next (or previous) enabled, visible control of the dialog.
    static void moveFocus(QWidget* dialog, bool forward);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DialogKeyFilter(QWidget* dialog, Handler handler);

    QWidget* m_dialog;
    Handler m_handler;
};
