#include "audio/SegmentOrder.h"

#include <QTime>

#include <algorithm>
#include <cmath>
#include <limits>

QString wallClockTimecode(Date date)
{
    const QDateTime local = date.toQDateTime().toLocalTime();
    const QTime time = local.isValid() ? local.time() : QTime(0, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

double SegmentOrder::key(const DisplaySegment& segment) const
{
    const double moment = segment.moment(m_engineStart).sinceReferenceDate;
    // NaN compares false both ways, which would make it equivalent to everything; give it one
    // place after every number instead.
    return std::isnan(moment) ? std::numeric_limits<double>::infinity() : moment;
}

bool SegmentOrder::operator()(const DisplaySegment& a, const DisplaySegment& b) const
{
    const double keyA = key(a);
    const double keyB = key(b);
    if (keyA != keyB)
        return keyA < keyB;
    if (a.channel != b.channel)
        return a.channel < b.channel;
    return a.id < b.id;
}

void sortSegments(QList<DisplaySegment>& segments, Date engineStart)
{
    std::stable_sort(segments.begin(), segments.end(), SegmentOrder(engineStart));
}
