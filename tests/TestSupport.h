#pragma once

#include "data/Codec.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Code page 932 bytes of a UTF-8 literal, for writing test files and expected lines.
inline QByteArray sj(const char* utf8) {
    return *Codec::fromUnicode(QString::fromUtf8(utf8));
}

// A temporary data folder of its own for one test; path() ends with a separator.
class TempDataFolder {
public:
    TempDataFolder() { m_dir.setAutoRemove(true); }
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString file(const QString& name) const { return path() + name; }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile f(file(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
    QByteArray read(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString& name) const { return QFile::exists(file(name)); }

private:
    QTemporaryDir m_dir;
};
