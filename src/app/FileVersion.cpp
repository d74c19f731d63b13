#include "app/FileVersion.h"

#include "rules/ComType.h"

#include <QCoreApplication>
#include <QFile>

#include <elf.h>

namespace {

// More than any version resource needs; a larger section is not one of ours.
constexpr quint64 MaxSectionSize = 64 * 1024;

template <typename T> bool readAt(QFile& file, quint64 offset, T& value) {
    if (offset > quint64(file.size()) || sizeof(T) > quint64(file.size()) - offset)
        return false;
    return file.seek(qint64(offset)) &&
           file.read(reinterpret_cast<char*>(&value), sizeof(T)) == qint64(sizeof(T));
}

QByteArray readBytes(QFile& file, quint64 offset, quint64 size) {
    if (size > MaxSectionSize || offset > quint64(file.size()) ||
        size > quint64(file.size()) - offset || !file.seek(qint64(offset)))
        return {};
    return file.read(qint64(size));
}

// The contents of a named section of a 64-bit ELF file.
std::optional<QByteArray> elfSection(QFile& file, const char* name) {
    Elf64_Ehdr header;
    if (!readAt(file, 0, header) || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx == SHN_UNDEF || header.e_shstrndx >= header.e_shnum)
        return std::nullopt;
    auto sectionHeader = [&](quint64 index, Elf64_Shdr& section) {
        return readAt(file, header.e_shoff + index * sizeof(Elf64_Shdr), section);
    };
    Elf64_Shdr names;
    if (!sectionHeader(header.e_shstrndx, names))
        return std::nullopt;
    const QByteArray nameTable = readBytes(file, names.sh_offset, names.sh_size);
    const QByteArray wanted(name);
    for (quint64 i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        if (!sectionHeader(i, section))
            return std::nullopt;
        if (section.sh_name >= quint64(nameTable.size()) || section.sh_type == SHT_NOBITS)
            continue;
        if (QByteArray(nameTable.constData() + section.sh_name) != wanted)
            continue;
        const QByteArray bytes = readBytes(file, section.sh_offset, section.sh_size);
        if (bytes.size() != qsizetype(section.sh_size))
            return std::nullopt;
        return bytes;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> QueryVersionValue(const QString& programFile, const QString& key) {
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<QByteArray> resource = elfSection(file, VersionSectionName);
    if (!resource)
        return std::nullopt;
    const QList<QByteArray> texts = resource->split('\0');
    for (qsizetype i = 0; i + 1 < texts.size() && !texts.at(i).isEmpty(); i += 2)
        if (QString::fromUtf8(texts.at(i)) == key)
            return QString::fromUtf8(texts.at(i + 1));
    return std::nullopt;
}

void ReadFileVersion(const QString& programFile) {
    const std::optional<QString> value = QueryVersionValue(programFile, FileVersionKey);
    if (!value)
        return;
    const QStringList pieces = value->split(QLatin1Char('.'), Qt::SkipEmptyParts);
    // Fewer than four pieces leave the rest 0, as does a piece that is not a number.
    auto piece = [&](int i) { return i < pieces.size() ? pieces.at(i).toInt() : 0; };
    AppVersion.Major = piece(0);
    AppVersion.Minor = piece(1);
    AppVersion.Release = piece(2);
    AppVersion.Build = piece(3);
    AppVersion.Text = *value;
}

void ReadFileVersion() {
    ReadFileVersion(QCoreApplication::applicationFilePath());
}
