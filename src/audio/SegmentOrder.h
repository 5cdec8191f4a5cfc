#pragma once

#include "model/DisplaySegment.h"
#include "platform/Date.h"

#include <QList>
#include <QString>

// The wall-clock time of day of `date` in the current time zone, "HH:MM:SS" (14:05:09). A date
// that cannot be placed in a calendar gives "00:00:00".
[[nodiscard]] QString wallClockTimecode(Date date);

// The order in which the engine lists the lines of all its streams: by the line's moment
// (engine start + startSecs when timed, else when it was first seen), ties broken by channel and
// then by id. Every line has one key, so timed and untimed lines mix in a strict weak order (a
// moment that is not a number sorts after every other).
class SegmentOrder {
public:
    explicit SegmentOrder(Date engineStart) : m_engineStart(engineStart) {}

    [[nodiscard]] bool operator()(const DisplaySegment& a, const DisplaySegment& b) const;

    // The moment a line is ordered by, in seconds since the reference date; never NaN.
    [[nodiscard]] double key(const DisplaySegment& segment) const;

private:
    Date m_engineStart;
};

// Sorts `segments` by SegmentOrder, keeping the given order of equivalent lines.
void sortSegments(QList<DisplaySegment>& segments, Date engineStart);
