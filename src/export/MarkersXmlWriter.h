#pragma once

#include "model/LoggableMarker.h"
#include "platform/Date.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Avid markers XML: an Avid settings-file document ("Avid:StreamItems") with one attribute class
// per marker, which Media Composer imports as markers with name, timecode, track, comment,
// length and colour (standard and extended palette).
namespace LogExport {

// The namespace bound to the "Avid:" prefix of the document element.
inline constexpr char avidNamespaceURI[] = "http://www.avid.com";

// The whole document as the UTF-8 bytes of the file, LF line ends. Markers without a creation
// time are dated now.
[[nodiscard]] QByteArray avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user);

// As above, with the moment that dates markers without a creation time (or with one that is
// not a real date: not finite, or its seconds outside the 64-bit range).
[[nodiscard]] QByteArray avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user, Date now);

// One integer attribute element (five lines, no final line break), UTF-8. The name is written
// as is.
[[nodiscard]] QByteArray intAttribute(const QString& name, qint64 value);

} // namespace LogExport
