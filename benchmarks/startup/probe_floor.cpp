// The floor: an empty Qt Widgets window of the main window's size, shown and painted.
// With the argument "text" the window shows one line of Japanese text in the grid's font
// instead, which tells how much of the gap to Kalendo is the font set-up alone.
#include "FirstPaint.h"

#include <QApplication>
#include <QLabel>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(240, 318);
    if (argc > 1 && std::strcmp(argv[1], "text") == 0) {
        auto* label = new QLabel(QStringLiteral("日 月 火 水 木 金 土 2025"), &window);
        QFont font(QStringLiteral("IPAGothic"));
        font.setPixelSize(24);
        label->setFont(font);
        label->move(10, 10);
    }
    new FirstPaint(&window);
    window.show();
    return QApplication::exec();
}
