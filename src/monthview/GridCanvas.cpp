#include "monthview/GridCanvas.h"

#include <QFontMetrics>
#include <QPainter>

void TGridCanvas::Repaint(const QRect& cell, const QString& text) {
    m_painter.fillRect(cell, Brush);
    if (text.isEmpty())
        return;
    m_painter.setFont(Font);
    m_painter.setPen(FontColor);
    const QFontMetrics metrics(Font);
    m_painter.save();
    m_painter.setClipRect(cell);
    m_painter.drawText(QPoint(cell.left() + 2, cell.top() + 2 + metrics.ascent()), text);
    m_painter.restore();
}
