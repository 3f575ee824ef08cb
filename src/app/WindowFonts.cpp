#include "app/WindowFonts.h"

#include "meter/DisplaySymbols.h"

#include <QStringList>

namespace velkor {

namespace {

QFont make(const QStringList& families, int pixelSize, bool bold) {
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace

QFont uiFont(int pixelSize, bool bold) {
    static const QStringList families = {QStringLiteral("Liberation Sans"),
                                         QStringLiteral("DejaVu Sans"),
                                         QStringLiteral("Noto Sans CJK JP")};
    return make(families, pixelSize, bold);
}

QFont segmentFont(int pixelSize) {
    static const QStringList families = {QStringLiteral("DSEG7 Classic")};
    return make(families, pixelSize, false);
}

QFont symbolFont(int pixelSize, bool bold) {
    static const QStringList families = unitSymbolFontFamilies();
    return make(families, pixelSize, bold);
}

} // namespace velkor
