#include "widgets/OnScreen.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

QScreen* screenOf(const QWidget* window, const QRect& frame) {
    if (QScreen* under = QGuiApplication::screenAt(frame.center()))
        return under;
    QScreen* nearest = window->screen();
    qint64 best = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QPoint d = screen->geometry().center() - frame.center();
        const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
        if (best < 0 || distance < best) {
            best = distance;
            nearest = screen;
        }
    }
    return nearest;
}

} // namespace

QRect WholePixelArea(const QScreen* screen) {
    QRect area = screen->availableGeometry();
    const qreal ratio = screen->devicePixelRatio();
    // The edges of a window are rounded to device pixels apart: together up to one past.
    if (ratio != std::floor(ratio))
        area.adjust(0, 0, -1, -1);
    return area;
}

void FitOnScreen(QWidget* window) {
    // A font given as the window shows changes its layout's size only later: settled first.
    if (QLayout* layout = window->layout())
        layout->activate();
    QRect frame = window->frameGeometry();
    const QScreen* screen = screenOf(window, frame);
    if (!screen)
        return;
    const QRect area = WholePixelArea(screen);
    const QSize frameExtra = frame.size() - window->size();
    if (frame.width() > area.width() || frame.height() > area.height()) {
        const QSize fitting = (area.size() - frameExtra).expandedTo(window->minimumSize());
        window->resize(window->size().boundedTo(fitting));
        frame.setSize(window->size() + frameExtra);
    }
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    if (QPoint(x, y) != frame.topLeft())
        window->move(x, y);
}

void FitShownWindow(QObject* shown) {
    if (!shown->isWidgetType())
        return;
    auto* widget = static_cast<QWidget*>(shown);
    const Qt::WindowType type = widget->windowType();
    if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog))
        FitOnScreen(widget);
}
