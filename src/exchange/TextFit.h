#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text from another calendar made to fit a field of a schedule line: one line of code page 932
// bytes within the field's byte limit.
struct FittedText {
    QByteArray bytes;
    // What had to change, in the user's words ("「〜」を「～」に置き換え", "40バイトで切り捨て").
    QStringList changes;
    // Characters code page 932 cannot hold and nothing maps to, each once, in text order.
    QStringList unencodable;
    // The text could not be kept as it was: characters left out, line breaks, cut.
    bool lossy = false;
};

// Line breaks and tabs become blanks and a comma the full-width comma, so that the text stays
// one field of one line. A character code page 932 cannot hold is replaced by its usual
// counterpart where one exists (the wave dash by the full-width tilde, compatibility forms by
// their plain form); any other is left out and listed. The result is cut at a whole character
// at maxBytes.
FittedText FitToCp932(const QString& text, int maxBytes);
