#pragma once

#include "data/CsvLine.h"
#include "data/KalendoError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <exception>

// A property broken: libFuzzer records the input when the process aborts.
[[noreturn]] inline void fuzzFail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "PROPERTY BROKEN: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFail(#condition, detail);                                                          \
    } while (false)

// The only texts a failure of the core may show the user; a file's failure names the file on a
// second line.
inline bool isDefinedMessage(const QString& message) {
    static const QRegularExpression forms(
        QStringLiteral("\\A(?:'.*' は整数ではありません|日付に変換できない値が渡されました"
                       "|'.*' は日付ではありません|(?:不正なファイル名です"
                       "|ファイルへのアクセスが拒否されました|ディスクがいっぱいです"
                       "|I/O エラー \\(\\d+\\)|通常のファイルではないため読み込めません"
                       "|ファイルが大きすぎるため読み込めません（上限 \\d+ MB）)\\n[^\\n]+)\\z"),
        QRegularExpression::DotMatchesEverythingOption);
    return forms.match(message).hasMatch();
}

// Runs f; a KalendoError must carry a defined message, anything else thrown is a finding.
// Returns whether f finished without an error.
template <typename F> bool runCore(F&& f) {
    try {
        f();
        return true;
    } catch (const KalendoError& e) {
        if (!isDefinedMessage(e.message()))
            fuzzFail("undefined message:", e.message());
        return false;
    } catch (const std::exception& e) {
        fuzzFail("foreign exception:", QString::fromUtf8(e.what()));
    } catch (...) {
        fuzzFail("unknown exception");
    }
}

// One scratch folder per process, in memory when the system offers it, so that the fsync of
// every save costs nothing and the fuzzer stays fast.
inline QString scratchFolder() {
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/kalendo-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/kalendo-fuzz-XXXXXX"));
    if (!dir.isValid())
        fuzzFail("no scratch folder");
    return dir.path() + QLatin1Char('/');
}

// Writes the input as a file, byte for byte.
inline void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fuzzFail("cannot write the input file");
}

// A row as the grid reading gives it back: an empty field is stored as one blank.
inline Row asRead(Row row) {
    for (QByteArray& cell : row)
        if (cell.isEmpty())
            cell = " ";
    return row;
}
