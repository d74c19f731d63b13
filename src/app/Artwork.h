#pragma once

#include <QIcon>
#include <QPixmap>

// The program icon: a calendar page with a red head.
QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();
// The arrow images of the month buttons.
QIcon ArrowIcon(Qt::ArrowType direction);
