#pragma once

#include "model/LoggableMarker.h"

#include <QList>
#include <QString>

#include <optional>

namespace LogExport {

// The Avid Log Exchange text of the markers: the tab-delimited log Avid imports, one row per
// marker in the order given, LF line ends. With a non-blank tape every row carries it, so Avid
// can merge the rows onto the rushes of that reel by timecode.
[[nodiscard]] QString ale(const QList<LoggableMarker>& markers, const QString& fps, const QString& videoFormat,
                          const std::optional<QString>& tape);

} // namespace LogExport
