// Arbitrary bytes as a data file: reading never fails on an existing readable file, gives the
// same lines as splitting in memory, and a save of those lines reads back unchanged.
#include "FuzzSupport.h"
#include "data/TextFile.h"

#include <QFile>

#include <cstdint>

namespace {

QByteArray joined(const TextLines& lines) {
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + "\r\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QString input = scratchFolder() + QStringLiteral("2025.csv");
    static const QString saved = scratchFolder() + QStringLiteral("holiday.csv");
    writeRaw(input, bytes);

    TextLines lines;
    FUZZ_CHECK(runCore([&] { lines = LoadTextLines(input); }), QStringLiteral("load failed"));
    FUZZ_CHECK(lines == SplitTextLines(bytes), QStringLiteral("file and memory differ"));

    // Every line is a piece of the input, in input order, with the reading rules applied.
    qsizetype cursor = 0;
    for (const QByteArray& line : lines) {
        FUZZ_CHECK(!line.isEmpty(), QString());
        FUZZ_CHECK(static_cast<unsigned char>(line.at(0)) > 0x20, QString());
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\x1a'), QString());
        const qsizetype at = bytes.indexOf(line, cursor);
        FUZZ_CHECK(at >= cursor, QStringLiteral("line not found in order"));
        cursor = at + line.size();
    }

    // A save writes exactly the lines, and a second load gives them back: no line is lost.
    FUZZ_CHECK(runCore([&] { SaveTextLines(saved, lines); }), QStringLiteral("save failed"));
    QFile f(saved);
    FUZZ_CHECK(f.open(QIODevice::ReadOnly), QString());
    const QByteArray written = f.readAll();
    FUZZ_CHECK(written == joined(lines), QStringLiteral("saved bytes differ"));
    TextLines again;
    FUZZ_CHECK(runCore([&] { again = LoadTextLines(saved); }), QStringLiteral("reload failed"));
    FUZZ_CHECK(again == lines, QStringLiteral("lines lost in a save"));
    return 0;
}
