#include "monthview/GridCanvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

struct TGridCellCache::Laid {
    QFont font;
    int dpi = 0;
    std::unique_ptr<QTextLayout> layout;
    qreal ascent = 0;
};

struct TGridCellCache::Kept {
    QFont font;
    QColor ink;
    QColor brush;
    QSize size;
    int dpiX = 0;
    int dpiY = 0;
    QImage::Format format = QImage::Format_Invalid;
    QImage pixels;
};

TGridCellCache::TGridCellCache() = default;
TGridCellCache::~TGridCellCache() = default;

void TGridCellCache::drawText(QPainter& painter, const QPoint& baseline, const QFont& font,
                              const QString& text) {
    // A font sized in points takes its pixels from the device's resolution.
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 0;
    std::vector<Laid>& versions = m_laid[text];
    auto it = std::find_if(versions.begin(), versions.end(),
                           [&](const Laid& laid) { return laid.dpi == dpi && laid.font == font; });
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
        versions.push_back({font, dpi, std::move(layout), line.ascent()});
        it = versions.end() - 1;
    }
    it->layout->draw(&painter, QPointF(baseline.x(), baseline.y() - it->ascent));
}

bool TGridCellCache::drawKept(QPainter& painter, const QRect& cell, const TGridCanvas& look,
                              const QString& text) {
    const QPaintDevice* device = painter.device();
    const QTransform place = painter.deviceTransform();
    if (!device || device->devicePixelRatio() != 1 || place.type() > QTransform::TxTranslate ||
        place.dx() != std::floor(place.dx()) || place.dy() != std::floor(place.dy()) ||
        look.Brush.alpha() != 255)
        return false;
    const auto* image = dynamic_cast<const QImage*>(device);
    const QImage::Format format = image ? image->format() : QImage::Format_ARGB32_Premultiplied;
    const int dpiX = device->logicalDpiX();
    const int dpiY = device->logicalDpiY();
    std::vector<Kept>& versions = m_kept[text];
    auto it = std::find_if(versions.begin(), versions.end(), [&](const Kept& kept) {
        return kept.size == cell.size() && kept.brush == look.Brush && kept.ink == look.FontColor &&
               kept.format == format && kept.dpiX == dpiX && kept.dpiY == dpiY &&
               kept.font == look.Font;
    });
    if (it == versions.end()) {
        // Looks come and go with the months shown and the desktop's colours: a bound keeps
        // the pixels of a few hundred cells at most.
        if (m_keptCount >= 512) {
            m_kept.clear();
            m_keptCount = 0;
        }
        QImage pixels(cell.size(), format);
        pixels.setDotsPerMeterX(qRound(dpiX / 0.0254));
        pixels.setDotsPerMeterY(qRound(dpiY / 0.0254));
        {
            QPainter cellPainter(&pixels);
            TGridCanvas canvas(cellPainter);
            canvas.Font = look.Font;
            canvas.FontColor = look.FontColor;
            canvas.Brush = look.Brush;
            canvas.Cache = this;
            canvas.Paint(QRect(QPoint(0, 0), cell.size()), text);
        }
        std::vector<Kept>& now = m_kept[text];
        now.push_back({look.Font, look.FontColor, look.Brush, cell.size(), dpiX, dpiY, format,
                       std::move(pixels)});
        ++m_keptCount;
        it = now.end() - 1;
    }
    painter.drawImage(cell.topLeft(), it->pixels);
    return true;
}

void TGridCanvas::Repaint(const QRect& cell, const QString& text) {
    if (!Cache || !Cache->drawKept(m_painter, cell, *this, text))
        Paint(cell, text);
}

void TGridCanvas::Paint(const QRect& cell, const QString& text) {
    m_painter.fillRect(cell, Brush);
    if (text.isEmpty())
        return;
    m_painter.setFont(Font);
    m_painter.setPen(FontColor);
    const QFontMetrics metrics(Font);
    m_painter.save();
    m_painter.setClipRect(cell);
    const QPoint baseline(cell.left() + 2, cell.top() + 2 + metrics.ascent());
    if (Cache)
        Cache->drawText(m_painter, baseline, Font, text);
    else
        m_painter.drawText(baseline, text);
    m_painter.restore();
}
