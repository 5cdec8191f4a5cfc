#pragma once

#include "model/LogButton.h"
#include "model/LoggingLog.h"
#include "platform/Clock.h"

#include <QColor>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <optional>

class LogTagStore;

// What the log pane shows besides the entries themselves.
struct LogPaneState {
    // The selected row.
    std::optional<QUuid> selected;
    // The row whose note is being edited, and the one whose note field has the keyboard.
    std::optional<QUuid> editingNote;
    std::optional<QUuid> focusedNote;
    // Rows drawn with the new-entry flash.
    QSet<QUuid> flashing;
    // The new-tag popover is open.
    bool showAddTag = false;

    friend bool operator==(const LogPaneState&, const LogPaneState&) = default;
};

// How rows name and colour their kind and speaker: the visible buttons by kind and the channel
// configs by name, as the screen last handed them over.
struct LogRowLook {
    QHash<QString, LogButton> buttons;
    // Channel name → index of the first config with that name.
    QHash<QString, int> speakerChannels;
};

// The log pane and the tag bar: the selection, row note editing, flashes and the new-tag popover,
// and what the rows' controls and the tag chips do to the log. It publishes one state value with
// one signal; the list model and the views read that and the log, never the screen.
//
// Main thread only. The flash and the note focus wait on the given clock. The flash's fade is a
// value of that clock's time: the view asks for it as it paints.
class LogPaneModel : public QObject {
    Q_OBJECT

public:
    // The new-entry flash shows fully this long, then eases out over kFlashFade.
    static constexpr std::chrono::milliseconds kFlashHold{250};
    static constexpr std::chrono::milliseconds kFlashFade{1300};
    // The badge colour of a kind no button has.
    static constexpr quint32 kUnknownBadgeHex = 0x9A9388;

    LogPaneModel(LoggingLog& log, LogTagStore& tags, Clock& clock, QObject* parent = nullptr);

    [[nodiscard]] const LogPaneState& state() const { return m_state; }
    [[nodiscard]] const LoggingLog& log() const { return m_log; }
    [[nodiscard]] const LogRowLook& look() const { return m_look; }
    void setLook(LogRowLook look);

    // --- what a row draws ---
    // The button's name for the kind, else the kind capitalised.
    [[nodiscard]] QString badge(const QString& kind) const;
    [[nodiscard]] QColor badgeColor(const QString& kind) const;
    // The channel named like the speaker; -1 (drawn in coral) for none or no speaker.
    [[nodiscard]] int speakerChannel(const std::optional<QString>& speaker) const;

    // --- row commands ---
    void setSelected(const std::optional<QUuid>& id);
    // A row tapped: selects it, or clears the selection when it was the selected one.
    void selectEntry(const QUuid& id);
    void deleteEntry(const QUuid& id);
    void keepEntry(const QUuid& id);
    void removeTag(const QUuid& id, const QString& tag);
    void setNote(const QUuid& id, const QString& note);
    // Selects the entry and edits its note; the note field takes the keyboard on the next turn.
    void startNote(const QUuid& id);
    void endNote();
    void setEditingNote(const std::optional<QUuid>& id);
    void setFocusedNote(const std::optional<QUuid>& id);
    // The new-entry flash: the row is in `flashing` for the hold, then fades back.
    void flash(const QUuid& id);
    // How much of the flash row `id` shows now: 1 through the hold, easing out to 0 over the
    // fade; 0 for a row with no flash.
    [[nodiscard]] double flashLevel(const QUuid& id) const;
    // The rule: a flash `elapsed` after it began. With reduced motion it ends with its hold.
    [[nodiscard]] static double flashLevelAfter(Clock::Duration elapsed, bool reduceMotion);
    // Rows whose flash is still drawn (held or fading).
    [[nodiscard]] qsizetype flashCount() const { return m_flashStarts.size(); }
    [[nodiscard]] bool reduceMotion() const { return m_reduceMotion; }
    void setReduceMotion(bool reduce) { m_reduceMotion = reduce; }

    // --- tag bar ---
    // The selection (even when gone), else the newest open entry, else the last entry.
    [[nodiscard]] std::optional<QUuid> tagTarget() const;
    // "selected clip", "open range" or "latest clip".
    [[nodiscard]] QString tagTargetLabel() const;
    [[nodiscard]] static QString tagChipHelp(const QString& targetLabel, const QString& tag);
    // Tags the tag target; nothing without one.
    void applyTag(const QString& tag);
    // The "+" popover's field.
    QString newTag;
    void setShowAddTag(bool show);
    // The popover's Add: `newTag` goes into the palette, the field empties, the popover closes.
    void addNewTag();

Q_SIGNALS:
    void stateChanged();
    void lookChanged();

private:
    void update(const std::function<void(LogPaneState&)>& change);
    // Clears every state that names an entry the log no longer has.
    void forgetGoneEntries();

    LoggingLog& m_log;
    LogTagStore& m_tags;
    Clock& m_clock;
    LogPaneState m_state;
    LogRowLook m_look;
    // When each flash still drawn began, on the clock's monotonic time.
    QHash<QUuid, Clock::Duration> m_flashStarts;
    bool m_reduceMotion = false;
};
