#pragma once

#include <QString>
#include <functional>

// Hands a document or a web address to the desktop's default application. Nothing is reported:
// a missing file or viewer shows only what the desktop shows.
void OpenDocument(const QString& path);
void OpenWebAddress(const QString& address);

// Replaces the desktop (tests); an empty function restores it.
void SetShellOpener(std::function<void(const QString& urlText)> opener);

// The maker's home page, opened from the Help menu.
inline const QString HomePageAddress = QStringLiteral("https://kalendo.example.org/");
// The user manual beside the program.
QString ManualPath();
