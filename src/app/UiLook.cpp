#include "app/UiFonts.h"

#include <QStringList>

namespace {

QFont pixelFont(const QStringList& families, int pixels, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

QFont GothicFont(int pixels, bool bold) {
    return pixelFont({QStringLiteral("IPAGothic"), QStringLiteral("monospace")}, pixels, bold);
}

QFont MinchoFont(int pixels, bool bold) {
    return pixelFont({QStringLiteral("IPAMincho"), QStringLiteral("serif")}, pixels, bold);
}

QFont CenturyFont(int pixels, bool bold) {
    return pixelFont(
        {QStringLiteral("C059"), QStringLiteral("Century Schoolbook L"), QStringLiteral("serif")},
        pixels, bold);
}
