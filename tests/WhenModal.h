#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs fn once the window is the active modal one, from inside its exec(): how the tests act
// in an editor that a list window opens and waits for.
inline void whenModal(QWidget* window, std::function<void()> fn) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, window, fn] {
        // Active too: activation comes after showing, and focus checks depend on it.
        if (QApplication::activeModalWidget() != window || QApplication::activeWindow() != window)
            return;
        timer->stop();
        timer->deleteLater();
        fn();
    });
    timer->start();
}

// The refusal message a text field shows beside its window, once it shows; it leaves the
// keyboard to the field, so it is no modal widget.
inline QMessageBox* shownRefusal() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("refusalMessage") && w->isVisible())
            return qobject_cast<QMessageBox*>(w);
    return nullptr;
}
