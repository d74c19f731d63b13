// Any bytes as an iCalendar file given to the import: parsed, its rules expanded within their
// budgets and its text fitted to the fields. It either ends with a plan or with one of the
// import's own messages; every entry planned is one that a year file can hold: a day the
// calendar shows, a time or none, texts within their byte limits on one field of one line.
// The first byte chooses the years expanded in and what becomes of unencodable text.
#include "FuzzSupport.h"
#include "data/Codec.h"
#include "exchange/IcsImport.h"
#include "exchange/TextFit.h"

#include <QRegularExpression>

#include <cstdint>

namespace {

bool fieldText(const QByteArray& bytes, int limit) {
    return bytes.size() <= limit && !bytes.contains(',') && !bytes.contains('\r') &&
           !bytes.contains('\n') && !bytes.contains('\0') && Codec::toUnicode(bytes).size() >= 0;
}

bool time(const QByteArray& text) {
    static const QRegularExpression hhmm(QStringLiteral("\\A(?:[01]\\d|2[0-3]):[0-5]\\d\\z"));
    return text.isEmpty() || hhmm.match(QString::fromLatin1(text)).hasMatch();
}

bool importMessage(const QString& message) {
    static const QRegularExpression forms(QStringLiteral(
        "\\A(?:iCalendar形式のファイルとして読めません|入れ子が深すぎるため読み込めません"
        "|予定が多すぎるため読み込めません（上限 \\d+件）)\\z"));
    return forms.match(message).hasMatch();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int first = 1980 + data[0] % 120;
    const int last = std::min(2099, first + (data[0] >> 4) % 3);
    const QByteArray ics(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    // Fitting alone, at a small limit: within it, whatever the text.
    const FittedText fitted = FitToCp932(QString::fromUtf8(ics), 40);
    FUZZ_CHECK(fieldText(fitted.bytes, 40), QString::fromLatin1(fitted.bytes.toHex()));

    IcsImportOptions options{first, last, "Asia/Tokyo", (data[0] & 1) != 0};
    try {
        // No data folder: every entry is planned as new, nothing is read or written.
        const IcsImportPlan plan = PlanIcsImport(ics, QString(), options);
        for (const IcsImportItem& item : plan.items) {
            FUZZ_CHECK(item.day.isValid() && item.day.year() >= 1980 && item.day.year() <= 2099,
                       item.day.toString());
            FUZZ_CHECK(time(item.entry.start) && time(item.entry.end),
                       QString::fromLatin1(item.entry.start + '-' + item.entry.end));
            FUZZ_CHECK(fieldText(item.entry.title, 40) && fieldText(item.entry.place, 40) &&
                           fieldText(item.entry.memo, 100),
                       QString::fromLatin1(item.entry.title.toHex()));
        }
    } catch (const KalendoError& error) {
        FUZZ_CHECK(importMessage(error.message()), error.message());
    }
    return 0;
}
