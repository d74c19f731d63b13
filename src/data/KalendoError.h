#pragma once

#include <QString>
#include <stdexcept>

// A failure the user is told about by the general error handler. The message is the text the
// user sees; the handler shows it and the user carries on.
class KalendoError : public std::runtime_error {
public:
    explicit KalendoError(const QString& message);
    QString message() const { return m_message; }

    // "'%s' は整数ではありません": a stored number that is not a number.
    static KalendoError notInteger(const QString& text);
    // "日付に変換できない値が渡されました": a date that does not exist.
    static KalendoError invalidDate();
    // "'%s' は日付ではありません": a stored date text that cannot be read as a date.
    static KalendoError notDate(const QString& text);
    // The message of an input/output failure, chosen by the system's error number, with the
    // file's path on a second line.
    static KalendoError io(int errorNumber, const QString& path = QString());
    // A data file that is no regular file (a pipe, a device): reading it could wait or run on
    // for good.
    static KalendoError notRegularFile(const QString& path);
    // A data file larger than any calendar of real use (LoadTextLines' limit).
    static KalendoError tooLarge(const QString& path, qint64 limitBytes);
    // Text typed or pasted that code page 932 cannot hold.
    static KalendoError notEncodable(const QString& text);

private:
    QString m_message;
};
