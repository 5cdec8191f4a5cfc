#pragma once

#include "model/LoggableMarker.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace LogExport {

// The Avid Log Exchange text of the markers: the tab-delimited log Avid imports, one row per
// marker in the order given, LF line ends. With a non-blank tape every row carries it, so Avid
// can merge the rows onto the rushes of that reel by timecode. Start and End are written as the
// selects EDL reads them, through the camera clock's conversions (see edl()): a marker whose
// cleaned timecode does not convert is left out, and an out that does not convert or is before
// the in (a range over midnight) ends the row at its start. Without both conversions there are
// no rows.
[[nodiscard]] QString ale(const QList<LoggableMarker>& markers, const QString& fps, const QString& videoFormat,
                          const std::optional<QString>& tape,
                          const std::function<std::optional<qint64>(const QString&)>& timecodeToFrames,
                          const std::function<QString(qint64)>& framesToTimecode);

} // namespace LogExport
