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

class TGridCanvas;

// What a grid that repaints the same few dozen cells (a month's days, the weekdays) keeps of
// them: each text laid out once, and each cell's look as pixels. Shaping the texts and drawing
// their glyphs again at every month step was two thirds of painting a month. Drawn from here,
// a cell has the same pixels as painted afresh.
class TGridCellCache {
public:
    TGridCellCache();
    ~TGridCellCache();
    TGridCellCache(const TGridCellCache&) = delete;
    TGridCellCache& operator=(const TGridCellCache&) = delete;

    // Draws the text with its left end on the baseline point, in the painter's pen.
    void drawText(QPainter& painter, const QPoint& baseline, const QFont& font,
                  const QString& text);
    // Draws a cell as the canvas would paint it, from its kept pixels; false where the painter
    // would not put them pixel for pixel where painting would (scaled, or moved by part of a
    // pixel) or the background is see-through.
    bool drawKept(QPainter& painter, const QRect& cell, const TGridCanvas& look,
                  const QString& text);

private:
    struct Laid;
    struct Kept;
    std::unordered_map<QString, std::vector<Laid>> m_laid;
    std::unordered_map<QString, std::vector<Kept>> m_kept;
    int m_keptCount = 0;
};

// The drawing state a grid hands to its cell-paint handler: the font (with its colour) and the
// background colour that the next repaint of a cell uses.
class TGridCanvas {
public:
    explicit TGridCanvas(QPainter& painter) : m_painter(painter) {}

    QFont Font;
    QColor FontColor;
    QColor Brush;
    // What the grid keeps of its cells; without it each cell is painted afresh.
    TGridCellCache* Cache = nullptr;

    // Fills the whole cell with the background colour, then draws the text 2 pixels right of
    // and below the cell's top-left corner.
    void Repaint(const QRect& cell, const QString& text);
    // The same, always painted afresh.
    void Paint(const QRect& cell, const QString& text);

private:
    QPainter& m_painter;
};
