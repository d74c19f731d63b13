#include "exchange/TextFit.h"

#include "data/Codec.h"

#include <QSet>

#include <algorithm>

#include <optional>

namespace {

// Characters other systems write where code page 932 has a counterpart of another code point.
QString counterpart(const QString& character) {
    static const QList<QPair<char16_t, char16_t>> pairs = {
        {u'\u301C', u'\uFF5E'}, // wave dash -> full-width tilde
        {u'\u2212', u'\uFF0D'}, // minus sign -> full-width hyphen-minus
        {u'\u2016', u'\u2225'}, // double vertical line -> parallel to
        {u'\u2014', u'\u2015'}, // em dash -> horizontal bar
        {u'\u00A2', u'\uFFE0'}, // cent sign
        {u'\u00A3', u'\uFFE1'}, // pound sign
        {u'\u00AC', u'\uFFE2'}, // not sign
        {u'\u00A6', u'\uFFE4'}, // broken bar
    };
    if (character.size() == 1)
        for (const auto& [from, to] : pairs)
            if (character.at(0) == QChar(from))
                return QString(QChar(to));
    // Compatibility forms (no-break space, ligatures, circled letters…) by their plain text.
    const QString plain = character.normalized(QString::NormalizationForm_KC);
    return plain != character && Codec::canEncode(plain) ? plain : QString();
}

} // namespace

FittedText FitToCp932(const QString& text, int maxBytes) {
    FittedText fitted;
    QString line;
    bool brokeLines = false;
    bool comma = false;
    bool cut = false;
    // Bytes kept from the first character that is no blank on: once past the limit the rest
    // cannot show, so a long text costs no more than what is kept.
    qsizetype bytes = 0;
    QSet<QString> lost;
    const auto keep = [&](const QString& one, qsizetype size) {
        line += one;
        if (bytes > 0 || !one.at(0).isSpace())
            bytes += size;
    };
    for (qsizetype i = 0; i < text.size();) {
        if (bytes > maxBytes) {
            cut = true;
            break;
        }
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString one = text.mid(i, len);
        i += len;
        if (one == QLatin1String("\r") && text.mid(i, 1) == QLatin1String("\n"))
            continue; // CR LF is one break
        if (one.at(0).unicode() < 0x20 || one.at(0).unicode() == 0x7F) {
            brokeLines = brokeLines || one.at(0) == QLatin1Char('\n') ||
                         one.at(0) == QLatin1Char('\r') || one.at(0) == QLatin1Char('\t');
            keep(QStringLiteral(" "), 1);
        } else if (one == QLatin1String(",")) {
            comma = true;
            keep(QStringLiteral("，"), 2);
        } else if (const std::optional<QByteArray> encoded = Codec::fromUnicode(one)) {
            keep(one, encoded->size());
        } else if (const QString mapped = counterpart(one); !mapped.isEmpty()) {
            const QString change = QStringLiteral("「%1」を「%2」に置き換え").arg(one, mapped);
            if (!fitted.changes.contains(change))
                fitted.changes << change;
            keep(mapped, Codec::fromUnicode(mapped).value_or(QByteArray()).size());
        } else if (!lost.contains(one)) {
            lost.insert(one);
            fitted.unencodable << one;
        }
    }
    if (brokeLines)
        fitted.changes << QStringLiteral("改行を空白に置き換え");
    if (comma)
        fitted.changes << QStringLiteral("「,」を「，」に置き換え");
    line = line.trimmed();
    const QString kept = Codec::truncateToBytes(line, maxBytes);
    cut = cut || kept.size() < line.size();
    if (cut)
        fitted.changes << QStringLiteral("%1バイトで切り捨て").arg(maxBytes);
    // A break at either end only ends the text; one inside it joins two lines into one.
    const QString inner = text.trimmed();
    fitted.lossy =
        cut || !fitted.unencodable.isEmpty() ||
        std::any_of(inner.begin(), inner.end(), [](QChar c) { return c.unicode() < 0x20; });
    fitted.bytes = Codec::encodeOrThrow(kept);
    return fitted;
}
