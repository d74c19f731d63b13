#include "app/Artwork.h"

#include <QPainter>
#include <QPainterPath>

void PaintProgramIcon(QPainter& p, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(3.5, 4.5, 25, 25), 2, 2);
    p.setBrush(QColor(0xD0, 0x20, 0x20));
    p.drawRect(QRectF(3.5, 4.5, 25, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x00, 0x80, 0x80));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            p.drawRect(QRectF(6 + col * 5.5, 14 + row * 5, 3.5, 3));
    p.setBrush(QColor(0x60, 0x60, 0x60));
    p.drawRect(QRectF(9, 2, 2, 5));
    p.drawRect(QRectF(21, 2, 2, 5));
}

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintProgramIcon(p, size);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

QIcon ArrowIcon(Qt::ArrowType direction) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x00, 0x00, 0x80));
    QPainterPath path;
    if (direction == Qt::LeftArrow) {
        path.moveTo(3, 8);
        path.lineTo(12, 2);
        path.lineTo(12, 14);
    } else {
        path.moveTo(13, 8);
        path.lineTo(4, 2);
        path.lineTo(4, 14);
    }
    path.closeSubpath();
    p.drawPath(path);
    return QIcon(pixmap);
}
