#pragma once

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QRect>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

class QPainter;
class QTextLayout;

// What a cell-paint handler is told about the cell.
enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

// Cell texts laid out once, for a grid that repaints the same few dozen texts (days, weekdays):
// shaping each again at every repaint was a third of painting a month. Drawn from here, a text
// gives the same pixels as QPainter::drawText at the same baseline.
class TGridTextCache {
public:
    TGridTextCache();
    ~TGridTextCache();
    TGridTextCache(const TGridTextCache&) = delete;
    TGridTextCache& operator=(const TGridTextCache&) = delete;

    // Draws the text with its left end on the baseline point, in the painter's pen.
    void draw(QPainter& painter, const QPoint& baseline, const QFont& font, const QString& text);

private:
    struct Laid {
        QFont font;
        std::unique_ptr<QTextLayout> layout;
        qreal ascent = 0;
    };
    std::unordered_map<QString, std::vector<Laid>> m_laid;
};

// The drawing state a grid hands to its cell-paint handler: the font (with its colour) and the
// background colour that the next repaint of a cell uses.
class TGridCanvas {
public:
    explicit TGridCanvas(QPainter& painter) : m_painter(painter) {}

    QFont Font;
    QColor FontColor;
    QColor Brush;
    // Where the grid keeps its laid-out texts; without one each text is laid out as drawn.
    TGridTextCache* Texts = nullptr;

    // Fills the whole cell with the background colour, then draws the text 2 pixels right of
    // and below the cell's top-left corner.
    void Repaint(const QRect& cell, const QString& text);

private:
    QPainter& m_painter;
};
