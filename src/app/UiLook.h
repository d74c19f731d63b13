#pragma once

#include <QFont>

// The fonts of the windows, at pixel sizes: IPA Gothic and IPA Mincho stand for the Japanese
// system fonts the windows were drawn for, C059 for Century.
QFont GothicFont(int pixels, bool bold = false);
QFont MinchoFont(int pixels, bool bold = false);
QFont CenturyFont(int pixels, bool bold = false);
