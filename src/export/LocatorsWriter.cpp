#include "export/LocatorsWriter.h"

#include "export/LogExportText.h"

#include <utility>

namespace LogExport {

namespace {

constexpr qsizetype bytesPerLineGuess = 96;

QString locatorColor(const LoggableMarker& marker, bool sixteen)
{
    if (marker.userResolveColor) {
        if (auto colour = colorForResolveName(*marker.userResolveColor, sixteen))
            return std::move(*colour);
    }
    return colorForType(marker.markerType);
}

} // namespace

QString avidLocators(const QList<LoggableMarker>& markers, int fps, bool sixteen)
{
    QString out;
    out.reserve(1 + markers.size() * bytesPerLineGuess);
    for (const LoggableMarker& marker : markers) {
        out += QLatin1String("Pindle\t");
        out += clean(marker.timecode);
        out += QLatin1String("\tV1\t");
        out += locatorColor(marker, sixteen);
        out += QLatin1Char('\t');
        out += commentText(marker);
        out += tagSuffix(marker.tags);
        out += QLatin1Char('\t');
        out += QString::number(markerLength(marker, fps));
        out += QLatin1Char('\n');
    }
    // The lines joined by LF plus one more: an empty list is a single line break.
    if (markers.isEmpty())
        out += QLatin1Char('\n');
    return out;
}

} // namespace LogExport
