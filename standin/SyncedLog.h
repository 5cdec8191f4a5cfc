#pragma once

#include "HttpMessage.h"
#include "JsonScanner.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

namespace standin {

// What a shoot keeps of its last sync. Each sync carries the whole day (well over 100 MB after
// twelve hours of sixteen channels), so the body is kept once, as received, and the segments and
// markers are spans of it, decoded only when asked for.
struct SyncedLog {
    QByteArray body;
    TextSpan object;      // the body's top-level object, without the white space around it
    TextSpan segmentList; // the "segments" array
    TextSpan markerList;  // the "markers" array
    QList<TextSpan> segments;
    QList<TextSpan> markers;

    [[nodiscard]] bool isEmpty() const { return body.isEmpty(); }
    // The JSON texts for the state; before any sync an empty object or array.
    [[nodiscard]] QByteArrayView objectText() const;
    [[nodiscard]] QByteArrayView segmentListText() const;
    [[nodiscard]] QByteArrayView markerListText() const;
    // One segment, decoded.
    [[nodiscard]] QJsonObject segment(qsizetype index) const;
    // A segment's "text" alone (empty when it is not a string), for searches that read every
    // segment: found by walking the segment's text, not by building an object of it.
    [[nodiscard]] QString segmentText(qsizetype index) const;
};

// Reads a sync body with the checks and answers of parseObjectBody() and JsonFields (the same 400
// for the same body, down to the parser's offset), walking the text once instead of building a
// document of it. On success `log` holds the body and `deleted` the "deleted_markers" ids; on
// failure `error` is the answer.
[[nodiscard]] bool readSyncBody(const QByteArray& body, SyncedLog& log, QStringList& deleted, Reply& error);

} // namespace standin
