#pragma once

#include "model/LoggableMarker.h"

#include <QList>
#include <QString>

namespace LogExport {

// The Avid locator text of the markers, one tab-separated line per marker in the order given,
// for Media Composer to import as markers on V1. `fps` is the clock's whole base rate (30 for
// 29.97); `sixteen` allows the extended marker colours of Media Composer 2024.6 and later.
[[nodiscard]] QString avidLocators(const QList<LoggableMarker>& markers, int fps, bool sixteen);

} // namespace LogExport
