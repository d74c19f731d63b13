#pragma once

#include <QWidget>

class QLabel;

// The small notice window shown while the main window prepares its first display.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    QLabel* lblTitle;

    // Shows the window centred on the screen and paints it before returning, so that it is on
    // the screen while the caller works.
    void ShowNow();
    // Hides the window; it stays alive.
    void CloseSplash();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_painted = false;
};
