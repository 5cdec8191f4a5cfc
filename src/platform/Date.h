#pragma once

#include <QDateTime>
#include <QTimeZone>

#include <compare>
#include <optional>

// A moment in time as the saved files and the service carry it: seconds, with fraction, since
// 2001-01-01 00:00:00 UTC. A double keeps sub-millisecond precision for camera frames, which
// QDateTime's whole milliseconds do not.
struct Date {
    // Seconds from 1970-01-01 to 2001-01-01.
    static constexpr double referenceOffset = 978307200.0;

    double sinceReferenceDate = 0.0;

    static Date now();
    static constexpr Date fromSecondsSince1970(double seconds) { return Date{seconds - referenceOffset}; }
    static Date fromQDateTime(const QDateTime& dateTime);

    [[nodiscard]] constexpr double secondsSince1970() const { return sinceReferenceDate + referenceOffset; }
    [[nodiscard]] QDateTime toQDateTime() const;
    // Whole milliseconds since 1970, rounded to the nearest; nullopt when out of range.
    [[nodiscard]] std::optional<qint64> millisecondsSince1970() const;

    [[nodiscard]] constexpr Date addingSeconds(double seconds) const { return Date{sinceReferenceDate + seconds}; }
    [[nodiscard]] constexpr double secondsSince(Date other) const { return sinceReferenceDate - other.sinceReferenceDate; }

    friend constexpr auto operator<=>(Date, Date) = default;
};

// Seconds east of GMT of the system's current time zone at this moment.
int currentTimeZoneOffsetSeconds();
