#include "widgets/UiLook.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cmath>

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

namespace {

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

constexpr double LegibleContrast = 4.5;

QPalette::ColorRole backgroundOf(QPalette::ColorRole textRole) {
    switch (textRole) {
    case QPalette::ButtonText:
        return QPalette::Button;
    case QPalette::Text:
        return QPalette::Base;
    default:
        return QPalette::Window;
    }
}

class LegibleText : public QObject {
public:
    LegibleText(QWidget* widget, QPalette::ColorRole role, const QColor& ink)
        : QObject(widget), m_role(role), m_ink(ink) {
        widget->installEventFilter(this);
        apply(widget);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            apply(static_cast<QWidget*>(watched));
        return false;
    }

private:
    void apply(QWidget* widget) const {
        // The background as it is now: set by a parent of the widget, or else the theme's (the
        // widgets take a new theme's colours only later).
        const QPalette::ColorRole role = backgroundOf(m_role);
        QColor background = QApplication::palette(widget).color(role);
        for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
            if (w->palette().isBrushSet(QPalette::Active, role)) {
                background = w->palette().color(role);
                break;
            }
        QPalette palette = widget->palette();
        palette.setColor(m_role, LegibleOn(m_ink, background));
        widget->setPalette(palette);
    }

    QPalette::ColorRole m_role;
    QColor m_ink;
};

} // namespace

QColor LegibleOn(const QColor& ink, const QColor& background) {
    if (contrast(ink, background) >= LegibleContrast)
        return ink;
    const bool darker = luminance(background) > 0.18;
    float h = 0, s = 0, l = 0, a = 0;
    ink.getHslF(&h, &s, &l, &a);
    // Lightness in small steps toward black or white; black or white always reach 4.5:1 on one
    // side of a background's middle grey.
    for (int step = 0; step <= 100; ++step) {
        l = std::clamp(darker ? l - 0.01f : l + 0.01f, 0.0f, 1.0f);
        const QColor candidate = QColor::fromHslF(h, s, l, a);
        if (contrast(candidate, background) >= LegibleContrast)
            return candidate;
    }
    return darker ? QColor(Qt::black) : QColor(Qt::white);
}

void SetLegibleTextColor(QWidget* widget, QPalette::ColorRole textRole, const QColor& ink) {
    new LegibleText(widget, textRole, ink);
}
