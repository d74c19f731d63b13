#include "widgets/UiLook.h"

#include <QApplication>
#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace {

QFont pixelFont(const QStringList& families, int pixels, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

QFont GothicFont(int pixels, bool bold) {
    return pixelFont({QStringLiteral("IPAGothic"), QStringLiteral("monospace")}, pixels, bold);
}

QFont MinchoFont(int pixels, bool bold) {
    return pixelFont({QStringLiteral("IPAMincho"), QStringLiteral("serif")}, pixels, bold);
}

QFont CenturyFont(int pixels, bool bold) {
    return pixelFont(
        {QStringLiteral("C059"), QStringLiteral("Century Schoolbook L"), QStringLiteral("serif")},
        pixels, bold);
}

void SetWindowColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Button);
}
