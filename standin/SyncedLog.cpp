#include "SyncedLog.h"

#include "JsonFields.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <optional>

namespace standin {

namespace {

// The top-level members a sync handler reads.
enum class Field { Other, Segments, Markers, Deleted, Offset };

const QLatin1StringView kSegments("segments");
const QLatin1StringView kMarkers("markers");
const QLatin1StringView kDeleted("deleted_markers");
const QLatin1StringView kOffset("tc_offset_ms");
const QLatin1StringView kText("text");

// A checked string's text, from the bytes between its quotes, as QJsonObject holds it: escapes
// undone ("segm\u0065nts" is "segments").
QString stringText(QByteArrayView raw)
{
    if (!raw.contains('\\'))
        return QString::fromUtf8(raw);
    return QJsonDocument::fromJson("[\"" + raw.toByteArray() + "\"]").array().at(0).toString();
}

Field fieldOf(QByteArrayView rawKey)
{
    const QString key = stringText(rawKey);
    if (key == kSegments)
        return Field::Segments;
    if (key == kMarkers)
        return Field::Markers;
    if (key == kDeleted)
        return Field::Deleted;
    if (key == kOffset)
        return Field::Offset;
    return Field::Other;
}

// One value of the body as the whole document would have held it; for the small members only.
QJsonValue decoded(QByteArrayView text)
{
    QByteArray wrapped;
    wrapped.reserve(text.size() + 2);
    wrapped.append('[').append(text).append(']');
    return QJsonDocument::fromJson(wrapped).array().at(0);
}

// What JsonFields looks at in the segments or the markers: the value's type, and for an array
// whether each element is an object. A value of that type stands in for the whole list.
QJsonValue standIn(QByteArrayView body, TextSpan value, const QList<TextSpan>& elements)
{
    switch (body[value.begin]) {
    case '[':
        for (const TextSpan& element : elements) {
            if (body[element.begin] != '{')
                return QJsonArray{QJsonValue()};
        }
        return QJsonArray();
    case '{':
        return QJsonObject();
    case '"':
        return QString();
    case 'n':
        return QJsonValue();
    case 't':
        return true;
    case 'f':
        return false;
    default:
        return 0;
    }
}

} // namespace

QByteArrayView SyncedLog::objectText() const
{
    return isEmpty() ? QByteArrayView("{}") : QByteArrayView(body).sliced(object.begin, object.size());
}

QByteArrayView SyncedLog::segmentListText() const
{
    return isEmpty() ? QByteArrayView("[]") : QByteArrayView(body).sliced(segmentList.begin, segmentList.size());
}

QByteArrayView SyncedLog::markerListText() const
{
    return isEmpty() ? QByteArrayView("[]") : QByteArrayView(body).sliced(markerList.begin, markerList.size());
}

QJsonObject SyncedLog::segment(qsizetype index) const
{
    const TextSpan span = segments.at(index);
    return QJsonDocument::fromJson(QByteArray::fromRawData(body.constData() + span.begin, span.size())).object();
}

QString SyncedLog::segmentText(qsizetype index) const
{
    const TextSpan span = segments.at(index);
    const QByteArrayView segment = QByteArrayView(body).sliced(span.begin, span.size());
    std::optional<TextSpan> text;
    JsonScanner scanner(segment);
    scanner.onMember = [&](QByteArrayView key, TextSpan value) {
        if (stringText(key) == kText)
            text = value;
    };
    // Read when the body was taken: it cannot fail now.
    if (!scanner.read() || !text || segment[text->begin] != '"')
        return {};
    return stringText(segment.sliced(text->begin + 1, text->size() - 2));
}

bool readSyncBody(const QByteArray& body, SyncedLog& log, QStringList& deleted, Reply& error)
{
    SyncedLog read;
    // The last of equal keys counts, as in a QJsonObject.
    std::optional<TextSpan> segments;
    std::optional<TextSpan> markers;
    std::optional<TextSpan> deletedIds;
    std::optional<TextSpan> offset;
    Field current = Field::Other;

    JsonScanner scanner(body);
    scanner.elementsOf = [&](QByteArrayView key) -> QList<TextSpan>* {
        current = fieldOf(key);
        QList<TextSpan>* list = current == Field::Segments  ? &read.segments
                                : current == Field::Markers ? &read.markers
                                                            : nullptr;
        if (list)
            list->clear();
        return list;
    };
    scanner.onMember = [&](QByteArrayView, TextSpan value) {
        switch (current) {
        case Field::Segments:
            segments = value;
            break;
        case Field::Markers:
            markers = value;
            break;
        case Field::Deleted:
            deletedIds = value;
            break;
        case Field::Offset:
            offset = value;
            break;
        case Field::Other:
            break;
        }
    };
    if (!scanner.read()) {
        error = invalidJsonReply(scanner.error());
        return false;
    }
    const QByteArrayView text(body);
    if (text[scanner.root().begin] != '{') {
        error = notAnObjectReply();
        return false;
    }

    QJsonObject fields;
    if (segments)
        fields.insert(kSegments, standIn(text, *segments, read.segments));
    if (markers)
        fields.insert(kMarkers, standIn(text, *markers, read.markers));
    if (deletedIds)
        fields.insert(kDeleted, decoded(text.sliced(deletedIds->begin, deletedIds->size())));
    if (offset)
        fields.insert(kOffset, decoded(text.sliced(offset->begin, offset->size())));
    JsonFields check(fields);
    check.objectArray(kSegments, true);
    check.objectArray(kMarkers, true);
    const auto ids = check.stringArray(kDeleted, true);
    check.integer(kOffset, false);
    if (!check.ok()) {
        error = check.error();
        return false;
    }

    read.body = body;
    read.object = scanner.root();
    read.segmentList = *segments;
    read.markerList = *markers;
    deleted = *ids;
    log = std::move(read);
    return true;
}

} // namespace standin
