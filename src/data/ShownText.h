#pragma once

#include <QByteArray>
#include <QString>

// How much of one line of stored text is ever shown in a hint, a message or a cell: far more
// than any entry holds, little enough that laying it out takes no time.
constexpr qsizetype MaxShownLineChars = 256;

// The text with every line longer than maxChars cut at a whole character and ended by "…".
// Lines end at LF; everything else is kept as it is.
QString CutLongLines(const QString& text, qsizetype maxChars = MaxShownLineChars);

// Stored bytes as text to show in one line: only the first maxChars characters are decoded,
// cut at a whole character and ended by "…" when there is more.
QString ShownLine(const QByteArray& bytes, qsizetype maxChars = MaxShownLineChars);

// Stored lines ended by CR LF (a day's annotation), each as ShownLine shows it, joined by LF.
// Of more than maxLines lines (when given), the first maxLines - 1 show and the last line says
// how many more there are: 「他N件」. Only the lines shown are decoded.
QString ShownLines(const QByteArray& bytes, qsizetype maxChars = MaxShownLineChars,
                   qsizetype maxLines = 0);
