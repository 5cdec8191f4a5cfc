#include "ui/theme/TextStyle.h"

#include "platform/Fonts.h"

#include <QFontDatabase>

#include <cmath>

namespace {

// The same rounding and bounds as the bundled faces, so a style's size means one thing.
int pixelSize(qreal size)
{
    if (!(size >= 1.0))
        return 1;
    if (size >= Fonts::maximumPixelSize)
        return Fonts::maximumPixelSize;
    return static_cast<int>(std::floor(size + 0.5));
}

} // namespace

QFont TextStyle::font() const
{
    QFont result;
    if (face) {
        result = Fonts::font(QString::fromLatin1(face), size);
    } else {
        result = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
        result.setPixelSize(pixelSize(size));
        result.setWeight(weight);
    }
    if (tracking != 0)
        result.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return result;
}

QFont::Weight TextStyle::symbolWeight() const
{
    return face ? Fonts::font(QString::fromLatin1(face), size).weight() : weight;
}
