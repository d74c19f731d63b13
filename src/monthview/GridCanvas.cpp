#include "monthview/GridCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

TGridTextCache::TGridTextCache() = default;
TGridTextCache::~TGridTextCache() = default;

void TGridTextCache::draw(QPainter& painter, const QPoint& baseline, const QFont& font,
                          const QString& text) {
    std::vector<Laid>& versions = m_laid[text];
    auto it = std::find_if(versions.begin(), versions.end(),
                           [&](const Laid& laid) { return laid.font == font; });
    if (it == versions.end()) {
        // In the font as the painter resolves it for its device, as drawText does.
        auto layout = std::make_unique<QTextLayout>(text, font, painter.device());
        layout->setCacheEnabled(true);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout->setTextOption(option);
        layout->beginLayout();
        QTextLine line = layout->createLine();
        line.setNumColumns(int(text.size()));
        layout->endLayout();
        versions.push_back({font, std::move(layout), line.ascent()});
        it = versions.end() - 1;
    }
    it->layout->draw(&painter, QPointF(baseline.x(), baseline.y() - it->ascent));
}

void TGridCanvas::Repaint(const QRect& cell, const QString& text) {
    m_painter.fillRect(cell, Brush);
    if (text.isEmpty())
        return;
    m_painter.setFont(Font);
    m_painter.setPen(FontColor);
    const QFontMetrics metrics(Font);
    m_painter.save();
    m_painter.setClipRect(cell);
    const QPoint baseline(cell.left() + 2, cell.top() + 2 + metrics.ascent());
    if (Texts)
        Texts->draw(m_painter, baseline, Font, text);
    else
        m_painter.drawText(baseline, text);
    m_painter.restore();
}
