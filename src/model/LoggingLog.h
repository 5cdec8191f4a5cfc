#pragma once

#include "model/DisplaySegment.h"
#include "model/LogEntry.h"
#include "model/LogSession.h"
#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/ShardedHash.h"
#include "timecode/CameraTimecode.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>
#include <span>

// The live log of one logging screen: its entries, identity, shoot token and the transcript
// lines saved with it. The screen builds most entries itself and appends them; this class does
// what needs the log's own state (ranges, summaries, tags, suggestions) and folds the live
// transcript into saved lines. Saving and syncing are the screen's business. Main thread only.
//
// Every change of the entries is announced by row, the way a list model announces it (about-to /
// done pairs around each insertion and removal, one signal per run of changed rows), so the log
// pane redraws the rows an edit touched, never the whole list; only load, reset and a reordering
// setEntries reset it. Row numbers in signals are ints, as list models take them.
class LoggingLog : public QObject {
    Q_OBJECT

public:
    using LineTimecode = std::function<QString(const DisplaySegment&)>;

    // `timecode` stamps every entry; `clock` (null: the system clock) gives the time.
    explicit LoggingLog(CameraTimecode& timecode = CameraTimecode::shared(), Clock* clock = nullptr,
                        QObject* parent = nullptr);

    [[nodiscard]] const LogEntries& entries() const { return m_entries; }
    // The row of the first entry with `id`; nullopt when the log has none. A hash lookup.
    [[nodiscard]] std::optional<qsizetype> entryRowOf(const QUuid& id) const;
    [[nodiscard]] QUuid id() const { return m_id; }
    [[nodiscard]] Date createdAt() const { return m_createdAt; }
    [[nodiscard]] const std::optional<QString>& shootToken() const { return m_shootToken; }
    [[nodiscard]] const LogLines& transcript() const { return m_transcript; }
    // Line id → position in transcript(). Not published: it changes only with the transcript.
    [[nodiscard]] const ShardedHash<QString, int>& lineIndex() const { return m_lineIndex; }

    // The shoot sync hands the token over once the service has made the shoot.
    void setShootToken(const std::optional<QString>& token);

    // The log as a saved session; the transcript is always present. Shares data with the log.
    [[nodiscard]] LogSession snapshotSession() const;

    // Folds transcript lines into the saved lines under run start `runStart` (whole seconds
    // since 1970 of the run's start). A new line takes its timecode from `timecodeFor`; a known
    // line takes the segment's text and speaker. Lines are never removed or reordered. Pass the
    // segments that are new or changed since the last merge; unchanged ones cost a lookup and
    // publish nothing.
    void mergeSegments(std::span<const DisplaySegment> segments, qint64 runStart, const LineTimecode& timecodeFor);
    void mergeSegments(const QList<DisplaySegment>& segments, qint64 runStart, const LineTimecode& timecodeFor);

    // Replaces the whole log with a saved session. Open ranges and summary requests do not
    // survive a restart, so every loaded entry is closed and not summarising.
    void load(const LogSession& session);
    // Starts a new empty log.
    void reset();

    // Appends an open in/out range starting `secondsBack` before now; returns its id.
    QUuid openRange(const QString& kind, double secondsBack);
    // Marks the out point of the range `id` now, quoting `words` (said within the range).
    void closeRange(const QUuid& id, const QString& words);
    // The latest open entry of `kind`.
    [[nodiscard]] std::optional<QUuid> openEntry(const QString& kind) const;

    void setSummary(const QUuid& id, const QString& text);
    void addTag(const QString& tag, const QUuid& id);
    void removeTag(const QString& tag, const QUuid& id);
    // Raises `id` as a suggestion (a keyword alert) and appends `tags` as given.
    void suggest(const QUuid& id, const QStringList& tags);
    // The logger keeps a suggestion: it becomes an ordinary entry.
    void keep(const QUuid& id);

    // The screen's direct edits of the entries.
    void appendEntry(const LogEntry& entry);
    // Removes every entry with `id`.
    void removeEntry(const QUuid& id);
    void setNote(const QUuid& id, const QString& note);
    // Puts `entry` in place of the first entry with its id; nothing when the log has none.
    void replaceEntry(const LogEntry& entry);
    // Announced as the rows that left, the rows that came and the rows whose entry (matched by
    // id) changed; a list that reorders the entries it keeps is announced as a reset.
    void setEntries(const LogEntries& entries);

Q_SIGNALS:
    // Entries first … last (inclusive) of the list as it will be, or as it was.
    void entryRowsAboutToBeInserted(int first, int last);
    void entryRowsInserted(int first, int last);
    void entryRowsAboutToBeRemoved(int first, int last);
    void entryRowsRemoved(int first, int last);
    void entryRowsChanged(int first, int last);
    void entriesAboutToBeReset();
    void entriesReset();
    // Once after every operation that changed the entries, after its row news: the screen saves
    // and syncs on it. Views follow the row signals instead.
    void entriesChanged();
    void idChanged();
    void createdAtChanged();
    void shootTokenChanged();
    // Row-level news of a merge, sent before transcriptChanged: lines first … last (inclusive)
    // were appended, or had their text or speaker replaced.
    void transcriptRowsInserted(int first, int last);
    void transcriptRowsChanged(int first, int last);
    // The transcript was replaced as a whole (load, reset); transcriptChanged follows.
    void transcriptReset();
    void transcriptChanged();

private:
    // Runs `edit` on the first entry with `id` and publishes when it changed the entry.
    template <typename Edit> void editEntry(const QUuid& id, Edit edit);
    // Row edits with their news; the index follows each one before its done signal. Inserts
    // `entryAt(0)` … `entryAt(count - 1)` before `row`.
    template <typename EntryAt> void insertEntryRows(qsizetype row, qsizetype count, EntryAt entryAt);
    void removeEntryRows(qsizetype first, qsizetype count);
    // Drops the index of rows `first` onwards before they move; indexes them again after.
    void unindexFrom(qsizetype first);
    void indexFrom(qsizetype first);
    void rebuildLineIndex();
    // Replaces the entries and their index, without news; resetEntries announces it as a reset.
    void replaceEntries(LogEntries entries);
    void resetEntries(const LogEntries& entries);
    void publishWholeLog();

    CameraTimecode& m_timecode;
    Clock& m_clock;

    LogEntries m_entries;
    // Entry id → row of its first entry.
    QHash<QUuid, qsizetype> m_entryIndex;
    QUuid m_id;
    Date m_createdAt;
    std::optional<QString> m_shootToken;
    LogLines m_transcript;
    // Sharded: a day's lines would otherwise rehash all at once on one merge.
    ShardedHash<QString, int> m_lineIndex;
};
