#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

// The program icon: a calendar page with a red head, drawn on a size × size square. The
// installed icon files are drawn by the same code (desktop/MakeIcons.cpp).
void PaintProgramIcon(QPainter& p, int size);
QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();
// The arrow images of the month buttons.
QIcon ArrowIcon(Qt::ArrowType direction);
