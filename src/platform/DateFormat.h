#pragma once

#include "platform/Date.h"

#include <QLocale>
#include <QString>

// Dates in the desktop's own styles, as ICU's date formatter gives them for a locale. QLocale's
// short and long formats do not cover the medium ("Dec 6, 2026") and long ("December 6, 2026")
// styles.
enum class DateStyle {
    Abbreviated, // Dec 6, 2026
    Long,        // December 6, 2026
    Complete,    // Sunday, December 6, 2026
};

// The date (no time of day) of a moment in `timeZoneId` (the system zone when empty), in the
// style of `locale`. Falls back to ISO 8601 when ICU cannot format it.
QString formatDate(Date date, DateStyle style, const QLocale& locale = QLocale(),
                   const QByteArray& timeZoneId = QByteArray());
