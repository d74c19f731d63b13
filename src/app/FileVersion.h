#pragma once

#include <QString>
#include <optional>

// The version resource: a section of the program file holding pairs of NUL-terminated texts,
// a key and its value, ended by an empty key. The build embeds it into the program only.
inline constexpr char VersionSectionName[] = ".kalendo_version";
inline const QString FileVersionKey = QStringLiteral("StringFileInfo\\041103A4\\FileVersion");

// The value of a key in the version resource of a program file; nothing when the file has no
// such resource or key, or cannot be read.
std::optional<QString> QueryVersionValue(const QString& programFile, const QString& key);

// Fills AppVersion from the FileVersion entry of a program file's version resource; without
// the resource or the entry AppVersion stays as it was.
void ReadFileVersion(const QString& programFile);
// The same for the running program's own file.
void ReadFileVersion();
