#pragma once

#include <QIcon>
#include <functional>

// An icon made only when something first asks for its pixels or its sizes. A control that may
// never show its icon (an overflow button) then costs nothing at start-up; the icon made later
// is the one `make` returns, as if it had been set directly.
QIcon DeferredIcon(std::function<QIcon()> make);
