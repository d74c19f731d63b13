#pragma once

#include <QString>
#include <functional>

// Hands a document to the desktop's default application. notOpened runs later, from the event
// loop, when no program took it (none for its type, or no way to ask the desktop); the desktop's
// own messages go to standard error only.
void OpenDocument(const QString& path, std::function<void()> notOpened = {});
// Hands a web address to the desktop's browser. Nothing is reported.
void OpenWebAddress(const QString& address);
// Documents handed on whose outcome is not known yet (the tests wait for none).
int DocumentsBeingOpened();

// Replaces the desktop (tests); an empty function restores it.
void SetShellOpener(std::function<void(const QString& urlText)> opener);

// The maker's home page, opened from the Help menu.
inline const QString HomePageAddress = QStringLiteral("https://kalendo.example.org/");
// The user manual beside the program.
QString ManualPath();
