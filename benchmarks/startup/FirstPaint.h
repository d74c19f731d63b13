#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Tells the benchmark when a window has been painted for the first time: once the first paint
// event of the window or of any of its children has been handled and the event loop comes
// round again (the backing store is flushed by then), prints "painted" and the peak resident
// size in kB, and ends the process.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : QObject(window), m_window(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == m_window) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::printf("painted %ld\n", peakResidentKb());
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    static long peakResidentKb() {
        std::FILE* status = std::fopen("/proc/self/status", "r");
        long kb = -1;
        char line[256];
        while (status && std::fgets(line, sizeof line, status))
            if (std::strncmp(line, "VmHWM:", 6) == 0)
                kb = std::strtol(line + 6, nullptr, 10);
        if (status)
            std::fclose(status);
        return kb;
    }

    QWidget* m_window;
    bool m_seen = false;
};
