#include "search/TextFold.h"

#include "data/Codec.h"

#include <QHash>

#include <array>
#include <map>

namespace {

constexpr char16_t Voiced = u'\uFF9E';     // ﾞ
constexpr char16_t SemiVoiced = u'\uFF9F'; // ﾟ

// Half-width katakana U+FF61..U+FF9F as their full-width forms.
constexpr char16_t HalfToFull[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチ"
    u"ツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(std::size(HalfToFull) == 0xFF9F - 0xFF61 + 2);

// A full-width katakana with the voiced or semi-voiced mark that followed it in half-width
// text, as one character, or nothing when the two do not make one.
char16_t compose(char16_t kana, char16_t mark) {
    QString pair = QChar(kana);
    pair.append(QChar(mark == Voiced ? u'\u3099' : u'\u309A'));
    const QString composed = pair.normalized(QString::NormalizationForm_C);
    return composed.size() == 1 ? composed.at(0).unicode() : char16_t(0);
}

char16_t foldOne(char16_t c) {
    if (c == u'\u3000')
        return u' ';
    if (c >= u'\uFF01' && c <= u'\uFF5E')
        c = char16_t(c - 0xFEE0);
    else if (c >= u'\uFF61' && c <= u'\uFF9F')
        c = HalfToFull[c - 0xFF61];
    if ((c >= u'\u30A1' && c <= u'\u30F6') || c == u'\u30FD' || c == u'\u30FE')
        c = char16_t(c - 0x60);
    return QChar(c).toLower().unicode();
}

QByteArray pair(int first, int second) {
    const char bytes[] = {char(first), char(second)};
    return QByteArray(bytes, 2);
}

// The encodings of every character code page 932 holds, and of each half-width kana followed by
// a voiced or semi-voiced mark, by the folded character they give.
const QHash<char16_t, std::vector<QByteArray>>& encodingsByFolded() {
    static const QHash<char16_t, std::vector<QByteArray>> table = [] {
        std::vector<QByteArray> encodings;
        // Control bytes never stand in a word, and LF separates the encodings below.
        for (int b = 0x20; b <= 0xFF; ++b)
            if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
                encodings.push_back(QByteArray(1, char(b)));
        for (int lead = 0x81; lead <= 0xFC; ++lead)
            if (Codec::isLeadByte(static_cast<unsigned char>(lead)))
                for (int trail = 0x40; trail <= 0xFC; ++trail)
                    if (Codec::isTrailByte(static_cast<unsigned char>(trail)))
                        encodings.push_back(pair(lead, trail));
        for (int kana = 0xA6; kana <= 0xDD; ++kana)
            for (const char mark : {'\xDE', '\xDF'})
                encodings.push_back(pair(kana, mark));
        // Decoded in one go, each on a line of its own.
        QByteArray all;
        for (const QByteArray& e : encodings)
            all.append(e).append('\n');
        const QStringList decoded = Codec::toUnicode(all).split(QLatin1Char('\n'));
        QHash<char16_t, std::vector<QByteArray>> byFolded;
        for (size_t i = 0; i < encodings.size() && i < size_t(decoded.size()); ++i) {
            const QString& text = decoded.at(qsizetype(i));
            if (text.isEmpty() || text.contains(QChar(u'\u001A')) ||
                text.contains(QChar::ReplacementCharacter))
                continue;
            const FoldedText folded = FoldText(text);
            if (folded.text.size() == 1)
                byFolded[folded.text.at(0).unicode()].push_back(encodings[i]);
        }
        return byFolded;
    }();
    return table;
}

} // namespace

FoldedText FoldText(QStringView text) {
    FoldedText out;
    out.text.reserve(text.size());
    out.origin.reserve(size_t(text.size()) + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text.at(i).unicode();
        const bool half = c >= u'\uFF66' && c <= u'\uFF9D';
        c = foldOne(c);
        if (half && i + 1 < text.size()) {
            const char16_t next = text.at(i + 1).unicode();
            if (next == Voiced || next == SemiVoiced) {
                // Composed from the katakana, then folded as the composed one.
                const char16_t kana = HalfToFull[text.at(i).unicode() - 0xFF61];
                if (const char16_t composed = compose(kana, next)) {
                    out.text.append(QChar(foldOne(composed)));
                    out.origin.push_back(int(i));
                    ++i;
                    continue;
                }
            }
        }
        out.text.append(QChar(c));
        out.origin.push_back(int(i));
    }
    out.origin.push_back(int(text.size()));
    return out;
}

std::vector<AnyNeedle::Needle> FoldedNeedles(QStringView folded) {
    // Each character's encodings by their length, one place per byte allowing what any of them
    // has there: 1 byte (ASCII, half-width kana) and 2 bytes (double-byte, or a half-width kana
    // with its mark).
    std::vector<std::array<AnyNeedle::Needle, 2>> shapes;
    for (const QChar c : folded) {
        const auto it = encodingsByFolded().constFind(c.unicode());
        if (it == encodingsByFolded().cend())
            return {};
        std::array<AnyNeedle::Needle, 2> shape;
        for (const QByteArray& e : *it) {
            AnyNeedle::Needle& places = shape[size_t(e.size() - 1)];
            places.resize(size_t(e.size()));
            for (qsizetype j = 0; j < e.size(); ++j)
                if (!places[size_t(j)].contains(e.at(j)))
                    places[size_t(j)].append(e.at(j));
        }
        shapes.push_back(std::move(shape));
    }
    // Every choice of shape for every character.
    std::vector<AnyNeedle::Needle> needles{AnyNeedle::Needle()};
    for (const auto& shape : shapes) {
        std::vector<AnyNeedle::Needle> longer;
        for (const AnyNeedle::Needle& head : needles)
            for (const AnyNeedle::Needle& tail : shape)
                if (!tail.empty()) {
                    AnyNeedle::Needle n = head;
                    n.insert(n.end(), tail.begin(), tail.end());
                    longer.push_back(std::move(n));
                }
        needles = std::move(longer);
    }
    return needles;
}
