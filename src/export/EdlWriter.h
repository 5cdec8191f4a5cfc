#pragma once

#include "model/LoggableMarker.h"
#include "timecode/CameraTimecode.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace LogExport {

// One cut of the selects sequence: the source frames it takes and the marker (its index in the
// list given to the writer) it came from.
struct EdlEvent {
    qint64 in = 0;
    qint64 out = 0;
    qsizetype marker = 0;

    friend bool operator==(const EdlEvent&, const EdlEvent&) = default;
};

// Events in time order of their in frames; events starting on the same frame keep their order.
[[nodiscard]] QList<EdlEvent> sortEvents(QList<EdlEvent> events);

// The camera clock's conversions the writer is handed: frames of a timecode text (nothing when
// the text is not a timecode of the format) and the timecode text of a frame count.
[[nodiscard]] std::optional<qint64> eventTimecodeFrames(const CameraTimecode::Format& format, const QString& text);
[[nodiscard]] QString eventTimecodeText(const CameraTimecode::Format& format, qint64 frames);

// The selects as a CMX 3600 style edit decision list (CR LF line ends): each marker whose
// timecode converts is one cut on `reel`, in time order, laid end to end on the record side from
// `recordStart`. A marker whose timecode does not convert, or whose frames would overflow, is
// left out; without both conversions the list has no events. A negative handle counts as none.
// No event crosses midnight: one that would is cut at the day's last label, on the source side
// as on the record side, and events after a full record day are left out.
[[nodiscard]] QString edl(const QList<LoggableMarker>& markers, const QString& title, const QString& reel,
                          bool dropFrame, int handle, qint64 recordStart,
                          const std::function<std::optional<qint64>(const QString&)>& timecodeToFrames,
                          const std::function<QString(qint64)>& framesToTimecode);

} // namespace LogExport
