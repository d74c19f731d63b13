#pragma once

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

// What a cell-paint handler is told about the cell.
enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

// The drawing state a grid hands to its cell-paint handler: the font (with its colour) and the
// background colour that the next repaint of a cell uses.
class TGridCanvas {
public:
    explicit TGridCanvas(QPainter& painter) : m_painter(painter) {}

    QFont Font;
    QColor FontColor;
    QColor Brush;

    // Fills the whole cell with the background colour, then draws the text 2 pixels right of
    // and below the cell's top-left corner.
    void Repaint(const QRect& cell, const QString& text);

private:
    QPainter& m_painter;
};
