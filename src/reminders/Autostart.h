#pragma once

#include <QString>

// The XDG autostart entry that starts Kalendo in the background at login:
// $XDG_CONFIG_HOME/autostart/<application id>.desktop, running `<program> --background`.
QString AutostartPath();
bool AutostartEnabled();
// Writes the entry for the program file given (replacing any earlier one whole), or removes it.
// Throws KalendoError with the user's message when it cannot.
void SetAutostart(bool enabled, const QString& programPath);
