#pragma once

#include "audio/TranscriptBook.h"
#include "model/LoggingLog.h"
#include "platform/SharedBlocks.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The shoot sync's rows: every transcript line and marker kept as the compact JSON the sync sends,
// so that a sync of a long shoot encodes only what changed since the one before.
//
// The book's and the log's row news mark the rows they touch. What else a row reads is compared
// when a snapshot is taken, since not all of it is announced (the camera's direct writers are
// not): the engine's start, the run start and the camera clock (every line), a speaker's shown
// name (that speaker's lines) and a button's label (that kind's markers).
//
// Main thread only. A snapshot shares the encoded rows, kept in blocks: holding one copies
// nothing, and a change while it is held copies the list of blocks and the blocks it touches,
// never the other rows nor any row's bytes.
//
// A block of lines that has settled (all but the newest two blocks' worth of rows) is packed:
// its rows' bytes joined into one run, so that a day's transcript is held as a few hundred runs
// rather than one allocation per line. A change that reaches a packed block unpacks it, and its
// rows are encoded again from the book.
class ShootSyncRows : public QObject {
    Q_OBJECT

public:
    // What the rows are made from; all of it must outlive the rows.
    struct Sources {
        const TranscriptBook* book = nullptr;
        const LoggingLog* log = nullptr;
        const CameraTimecode* camera = nullptr;
        // Time 0 of the lines' seconds, and the run start that prefixes their ids.
        std::function<Date()> engineStart;
        std::function<qint64()> runStart;
        std::function<QString(const QString& label)> speakerName;
        std::function<QString(const QString& kind)> buttonLabel;
    };

    explicit ShootSyncRows(Sources sources, QObject* parent = nullptr);

    // A line as the sync sends it, compact JSON; empty for a line not yet placed in the stream's
    // time.
    [[nodiscard]] QByteArray encodeSegment(const DisplaySegment& segment) const;
    // An entry as the sync sends it, compact JSON.
    [[nodiscard]] QByteArray encodeMarker(const LogEntry& entry) const;
    // Open ranges and suggestions stay on this desk until they are settled.
    [[nodiscard]] static bool isSent(const LogEntry& entry) { return !entry.open && !entry.suggested; }

    // The whole transcript and every sent marker, as they are now.
    [[nodiscard]] LoggerCloud::Snapshot snapshot();
    // Rows the last snapshot had to encode.
    [[nodiscard]] qsizetype lastEncoded() const { return m_lastEncoded; }

    // The most rows one turn of the catch-up encodes.
    static constexpr qsizetype kCatchUpRows = 512;
    // Encodes what a change read by many rows left stale (the camera clock, a speaker's name, a
    // button's label), a few hundred rows per turn of the event loop, so that the next snapshot
    // finds them done rather than holding up the main thread for a whole day's transcript.
    // Changes of the camera are followed on their own; cheap to call when nothing is stale.
    void catchUp();

private:
    // Encoded rows parallel to their source's rows; an empty piece is a row that is not sent.
    struct Rows {
        // Rows this far from the newest stay unpacked: new lines land among them.
        static constexpr qsizetype kOpenRows = 2 * SharedBlocks<QByteArray>::kBlockRows;

        SharedBlocks<QByteArray> bytes;
        // Per block of bytes: its rows joined by commas once packed (their own bytes are then
        // empty), else empty. Only rows that pack do so.
        QList<QByteArray> packed;
        bool packs = false;
        // No block before this one is left to pack.
        qsizetype packFrom = 0;
        // Marker ids, parallel to bytes; left empty for lines.
        SharedBlocks<QString> ids;
        bool withIds = false;
        std::vector<char> stale;
        // No row before this one is stale.
        qsizetype firstStale = 0;
        // News that did not fit the rows came: the next snapshot encodes them all again.
        bool outOfStep = false;

        [[nodiscard]] qsizetype size() const { return bytes.size(); }
        void insert(qsizetype first, qsizetype count);
        void remove(qsizetype first, qsizetype count);
        void markStale(qsizetype first, qsizetype last);
        void reset(qsizetype count);
        // Unpacks a packed block, its rows stale; every packed block from the one holding `row` on.
        void unpack(qsizetype block);
        void unpackFrom(qsizetype row);
        // Packs the settled blocks whose rows are all encoded.
        void pack();
        // Puts a row's new encoding in place; one encoded as it was leaves its block shared.
        void put(qsizetype row, QByteArray encoded, QString id = {});
    };

    // Everything every line reads besides its own fields and its speaker's name.
    struct LineContext {
        Date engineStart;
        qint64 runStart = 0;
        CameraTimecode::Format format;
        double offsetFrames = 0.0;
        int tzOffsetSeconds = 0;
        friend bool operator==(const LineContext&, const LineContext&) = default;
    };

    // Marks what changed unannounced since the last look, then encodes stale rows in order, at
    // most `budget` of them; each returns how many it encoded.
    qsizetype refreshLines(qsizetype budget);
    qsizetype refreshMarkers(qsizetype budget);
    void catchUpTurn();
    [[nodiscard]] LineContext lineContext() const;
    // The keys whose name changed since the rows were encoded; remembers the new names.
    [[nodiscard]] static QSet<QString> renamed(QHash<QString, QString>& shown,
                                               const std::function<QString(const QString&)>& current);

    Sources m_sources;
    Rows m_lines;
    Rows m_markers;
    std::optional<LineContext> m_lineContext;
    // Speaker label → the name the encoded lines carry; marker kind → the label they carry.
    QHash<QString, QString> m_speakerNames;
    QHash<QString, QString> m_buttonLabels;
    qsizetype m_lastEncoded = 0;
    bool m_catchUpQueued = false;
};
