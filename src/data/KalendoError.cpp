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

KalendoError KalendoError::io(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return KalendoError(QStringLiteral("不正なファイル名です"));
    case EACCES:
    case EPERM:
    case EROFS:
        return KalendoError(QStringLiteral("ファイルへのアクセスが拒否されました"));
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return KalendoError(QStringLiteral("ディスクがいっぱいです"));
    default:
        return KalendoError(QStringLiteral("I/O エラー (%1)").arg(errorNumber));
    }
}

KalendoError KalendoError::notEncodable(const QString& text) {
    return KalendoError(
        QStringLiteral("「%1」は保存できない文字です。この文字は使えません。").arg(text));
}
