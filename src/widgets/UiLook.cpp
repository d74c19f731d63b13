#include "widgets/UiLook.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace {

// One family and a style hint rather than a list of families: with a list, the toolkit works
// out the whole fallback chain of every size and script when it first loads the font (a tenth
// of start-up); with one family it does so only for a character the font lacks. Where the
// family is not installed, the hint picks the same kind of face.
QFont pixelFont(const QString& family, QFont::StyleHint hint, int pixels, bool bold) {
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Sets the font as the window's first show begins, before its own show handler runs and before
// anything is painted.
class FontOnShow : public QObject {
public:
    FontOnShow(QWidget* window, const QFont& font) : QObject(window), m_font(font) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            static_cast<QWidget*>(watched)->setFont(m_font);
            deleteLater();
        }
        return false;
    }

private:
    QFont m_font;
};

} // namespace

QFont GothicFont(int pixels, bool bold) {
    return pixelFont(QStringLiteral("IPAGothic"), QFont::Monospace, pixels, bold);
}

QFont MinchoFont(int pixels, bool bold) {
    return pixelFont(QStringLiteral("IPAMincho"), QFont::Serif, pixels, bold);
}

QFont CenturyFont(int pixels, bool bold) {
    // Only the version window, shown long after start-up, uses it: the older name of the face
    // is worth its fallback chain there.
    QFont font = pixelFont(QStringLiteral("C059"), QFont::Serif, pixels, bold);
    font.setFamilies(
        {QStringLiteral("C059"), QStringLiteral("Century Schoolbook L"), QStringLiteral("serif")});
    return font;
}

QFont MenuFont() {
    return GothicFont(12);
}

void SetFontWhenShown(QWidget* window, const QFont& font) {
    window->setFont(MenuFont());
    new FontOnShow(window, font);
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
