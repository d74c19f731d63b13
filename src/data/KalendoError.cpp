#include "data/KalendoError.h"

#include <cerrno>

KalendoError::KalendoError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message) {}

KalendoError KalendoError::notInteger(const QString& text) {
    return KalendoError(QStringLiteral("'%1' は整数ではありません").arg(text));
}

KalendoError KalendoError::invalidDate() {
    return KalendoError(QStringLiteral("日付に変換できない値が渡されました"));
}

KalendoError KalendoError::notDate(const QString& text) {
    return KalendoError(QStringLiteral("'%1' は日付ではありません").arg(text));
}

namespace {

// The message as it stands, and under it the file it is about.
KalendoError aboutFile(const QString& message, const QString& path) {
    return KalendoError(path.isEmpty() ? message : message + QLatin1Char('\n') + path);
}

} // namespace

KalendoError KalendoError::io(int errorNumber, const QString& path) {
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return aboutFile(QStringLiteral("不正なファイル名です"), path);
    case EACCES:
    case EPERM:
    case EROFS:
        return aboutFile(QStringLiteral("ファイルへのアクセスが拒否されました"), path);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return aboutFile(QStringLiteral("ディスクがいっぱいです"), path);
    default:
        return aboutFile(QStringLiteral("I/O エラー (%1)").arg(errorNumber), path);
    }
}

KalendoError KalendoError::notRegularFile(const QString& path) {
    return aboutFile(QStringLiteral("通常のファイルではないため読み込めません"), path);
}

KalendoError KalendoError::tooLarge(const QString& path, qint64 limitBytes) {
    return aboutFile(QStringLiteral("ファイルが大きすぎるため読み込めません（上限 %1 MB）")
                         .arg(limitBytes / (1024 * 1024)),
                     path);
}

KalendoError KalendoError::notEncodable(const QString& text) {
    return KalendoError(
        QStringLiteral("「%1」は保存できない文字です。この文字は使えません。").arg(text));
}
