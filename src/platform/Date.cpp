#include "platform/Date.h"

#include <chrono>
#include <cmath>
#include <limits>

Date Date::now()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const double seconds = std::chrono::duration<double>(sinceEpoch).count();
    return fromSecondsSince1970(seconds);
}

Date Date::fromQDateTime(const QDateTime& dateTime)
{
    return fromSecondsSince1970(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

std::optional<qint64> Date::millisecondsSince1970() const
{
    const double ms = std::round(secondsSince1970() * 1000.0);
    // 2^53: beyond it a double no longer holds every whole millisecond, and the cast could overflow.
    constexpr double limit = 9007199254740992.0;
    if (!std::isfinite(ms) || ms > limit || ms < -limit)
        return std::nullopt;
    return static_cast<qint64>(ms);
}

QDateTime Date::toQDateTime() const
{
    const auto ms = millisecondsSince1970();
    return ms ? QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC) : QDateTime();
}

int currentTimeZoneOffsetSeconds()
{
    return QDateTime::currentDateTime().offsetFromUtc();
}
