#include "platform/Fonts.h"

#include <QFileInfo>
#include <QFontDatabase>

#include <cmath>

// Q_INIT_RESOURCE declares the resource initialiser in the enclosing namespace, so it must stay
// at global scope. The fonts are compiled into a static library, whose resources are not
// registered until this runs; running it again is harmless.
static void initFontResources()
{
    Q_INIT_RESOURCE(fonts);
}

QStringList registerFonts(const QString& resourceRoot)
{
    ::initFontResources();
    const QString root = resourceRoot.endsWith(QLatin1Char('/')) ? resourceRoot : resourceRoot + QLatin1Char('/');
    QStringList registered;
    for (const char* name : Fonts::bundledFontNames) {
        const QString fileName = QString::fromLatin1(name) + QStringLiteral(".ttf");
        QString path = root + QStringLiteral("Fonts/") + fileName;
        if (!QFileInfo(path).isFile())
            path = root + fileName;
        if (!QFileInfo(path).isFile())
            continue;
        // Registered for this process only; a file the database cannot read leaves the views on
        // the system's fallback font, which is better than not starting.
        if (QFontDatabase::addApplicationFont(path) != -1)
            registered.append(QString::fromLatin1(name));
    }
    return registered;
}

namespace Fonts {

namespace {

struct Face {
    QLatin1StringView postScriptName;
    QLatin1StringView family;
    QFont::Weight weight;
};

constexpr Face faces[] = {
    {QLatin1StringView("DMSans-Regular"), QLatin1StringView("DM Sans"), QFont::Normal},
    {QLatin1StringView("DMSans-Medium"), QLatin1StringView("DM Sans"), QFont::Medium},
    {QLatin1StringView("DMSans-SemiBold"), QLatin1StringView("DM Sans"), QFont::DemiBold},
    {QLatin1StringView("DMSans-Bold"), QLatin1StringView("DM Sans"), QFont::Bold},
    {QLatin1StringView("Inter"), QLatin1StringView("Inter"), QFont::Normal},
    {QLatin1StringView("Inter-Regular"), QLatin1StringView("Inter"), QFont::Normal},
    {QLatin1StringView("DMMono-Medium"), QLatin1StringView("DM Mono"), QFont::Medium},
};

int pixelSize(qreal size)
{
    // Bounds checked as doubles first: NaN and huge sizes must not reach the integer conversion.
    if (!(size >= 1.0))
        return 1;
    if (size >= maximumPixelSize)
        return maximumPixelSize;
    return static_cast<int>(std::floor(size + 0.5));
}

} // namespace

QFont font(const QString& postScriptName, qreal size)
{
    const Face* face = &faces[0];
    for (const Face& candidate : faces) {
        if (postScriptName == candidate.postScriptName) {
            face = &candidate;
            break;
        }
    }
    QFont result(QString(face->family));
    result.setWeight(face->weight);
    result.setPixelSize(pixelSize(size));
    return result;
}

} // namespace Fonts
