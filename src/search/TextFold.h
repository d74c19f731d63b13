#pragma once

#include "data/TextFile.h"

#include <QString>
#include <QStringView>

#include <vector>

// Text folded the way people type when they search Japanese text: letters in one case, full-
// and half-width forms as one (Ａ = A, １ = 1, ｶﾞ = ガ), katakana as hiragana (カナ = かな), the
// ideographic space as a blank. A search compares folded text with folded text.
struct FoldedText {
    QString text;
    // For each folded character, the index of the first character it came from in the text
    // folded, and one more entry: the text's length. A half-width kana with its voiced mark
    // folds two characters into one.
    std::vector<int> origin;
};

FoldedText FoldText(QStringView text);

// Every way code page 932 writes text that folds to the given folded characters, as needles
// whose places allow a few bytes each (data/TextFile.h AnyNeedle): a line that holds text
// folding to them holds one of the needles. Needles may find more (a byte of one form next to a
// byte of another), never less. No needles when code page 932 cannot write one of them.
std::vector<AnyNeedle::Needle> FoldedNeedles(QStringView folded);
