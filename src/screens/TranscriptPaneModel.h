#pragma once

#include "model/DisplaySegment.h"
#include "platform/Date.h"
#include "screens/TranscriptHold.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

class LineUse;
class LoggingScreenModel;

// What the transcript pane shows besides the lines themselves.
struct TranscriptPaneState {
    // The line under the pointer or under a dragged button.
    std::optional<QString> hoverLine;
    // The line whose composer is open.
    std::optional<QString> selectedLine;
    // The line a search or an alert jumped to.
    std::optional<QString> jumpTarget;
    // The rows stand still on a snapshot (composer, line picker or a row note being edited).
    bool held = false;
    bool picking = false;
    // Visible lines beyond the held ones.
    qsizetype waiting = 0;
    // "Paused while you type · …"; empty while no banner shows.
    QString banner;
    // The engine's status, empty in its two resting states.
    QString status;
    // The text in place of the list while the engine has no line at all; empty otherwise.
    QString emptyText;
    // Every line of the engine, watch-only channels included: the list follows its changes.
    qsizetype lineCount = 0;

    friend bool operator==(const TranscriptPaneState&, const TranscriptPaneState&) = default;
};

// The transcript pane: the visible lines (watch-only channels left out unless a line raised a
// keyword alert), the hold that keeps the rows still while the logger types or picks, the
// hover, and what a row's context menu and click do. It reads the screen; the list model and the
// views read only this and its state value.
//
// The visible lines are announced row by row, the way a list model announces its rows, so that a
// new line costs the same on a long transcript as on a short one: a line that is not shown is
// kept in a sorted list of hidden engine rows, and visible row numbers are found from it by
// binary search. With no watch-only channel that list stays empty. The hold keeps where the rows
// stood and what changed since (TranscriptHold), never a copy of the lines.
//
// Main thread only.
class TranscriptPaneModel : public QObject, public TranscriptHold::Lines {
    Q_OBJECT

public:
    static constexpr char kListening[] = "Listening…";
    static constexpr char kStartHint[] = "Press Start logging to begin transcribing your audio input.";

    explicit TranscriptPaneModel(LoggingScreenModel& screen, QObject* parent = nullptr);

    [[nodiscard]] const TranscriptPaneState& state() const { return m_state; }
    [[nodiscard]] static QString bannerText(qsizetype waiting);

    // --- the lines ---
    [[nodiscard]] qsizetype visibleCount() const;
    // Visible line `row`, 0 ≤ row < visibleCount().
    [[nodiscard]] const DisplaySegment& visibleLine(qsizetype row) const;
    [[nodiscard]] std::optional<qsizetype> visibleRowOf(const QString& id) const;
    // The held rows; null while the pane is live.
    [[nodiscard]] const TranscriptHold* hold() const { return m_hold ? &*m_hold : nullptr; }
    // The rows the pane shows: the held ones while held, else the visible lines.
    [[nodiscard]] qsizetype shownCount() const;
    [[nodiscard]] const DisplaySegment& shownLine(qsizetype row) const;
    [[nodiscard]] std::optional<qsizetype> shownRowOf(const QString& id) const;
    // The line with this id among all the engine's lines.
    [[nodiscard]] const DisplaySegment* liveLine(const QString& id) const;
    // The line a row with this id shows: the held copy while held (it stays even when the line
    // has since left the transcript), else the live line.
    [[nodiscard]] const DisplaySegment* rowLine(const QString& id) const;
    // Time 0 of the lines' seconds, which orders them.
    [[nodiscard]] Date engineStart() const;

    // --- what a row draws ---
    [[nodiscard]] const LineUse& lineUse() const;
    [[nodiscard]] const QSet<QString>& flaggedLines() const { return m_flagged; }
    [[nodiscard]] QString lineTimecode(const DisplaySegment& line) const;
    // The speaker's given name, else the label; empty for a line without a speaker.
    [[nodiscard]] QString speakerName(const DisplaySegment& line) const;

    // --- commands ---
    void setHover(const QString& lineID);
    // Clears the hover only when it still names this line.
    void leaveHover(const QString& lineID);
    // The context menu's rename: the channel named like the line's speaker label, else the speaker.
    void renameFromLine(const QString& lineID);
    // A click on a line.
    void select(const QString& lineID);
    // Texts dropped on a line; false when none is a marker button's payload.
    bool drop(const QStringList& texts, const QString& lineID);

Q_SIGNALS:
    void stateChanged();
    // The visible lines, by row, as a list model announces its rows.
    void linesAboutToBeInserted(int first, int last);
    void linesInserted(int first, int last);
    void linesAboutToBeRemoved(int first, int last);
    void linesRemoved(int first, int last);
    void linesAboutToBeChanged(int first, int last);
    void linesChanged(int first, int last);
    void linesAboutToBeReset();
    void linesReset();
    // After the visible lines followed a change of the keyword alerts.
    void flaggedChanged();
    // The lines whose use by the log may have changed.
    void lineUseChanged(const QStringList& lines);
    void speakerNamesChanged();
    void timecodesChanged();

private:
    // The visible lines, as the hold reads them.
    [[nodiscard]] qsizetype lineCount() const override { return visibleCount(); }
    [[nodiscard]] const DisplaySegment& lineAt(qsizetype row) const override { return visibleLine(row); }
    [[nodiscard]] std::optional<qsizetype> rowOfLine(const QString& id) const override { return visibleRowOf(id); }

    [[nodiscard]] bool isShown(const DisplaySegment& line) const;
    [[nodiscard]] bool isHiddenRow(qsizetype row) const;
    [[nodiscard]] qsizetype hiddenBefore(qsizetype row) const;
    [[nodiscard]] qsizetype engineRow(qsizetype visibleRow) const;
    void rebuildHidden();
    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsAboutToBeChanged(int first, int last);
    void rowsChanged(int first, int last);
    // Row `row` of the engine is shown now, or not, where it was the other way.
    void reveal(qsizetype row);
    void conceal(qsizetype row);
    void followChannels();
    void followFlags();
    void followHold();
    void refresh();

    LoggingScreenModel& m_screen;
    TranscriptPaneState m_state;
    std::optional<TranscriptHold> m_hold;
    QSet<int> m_watchOnly;
    QSet<QString> m_flagged;
    // Sorted engine rows that are not shown.
    std::vector<qsizetype> m_hidden;
    // Between the engine's about-to-remove and its removal: how many of those rows were shown.
    qsizetype m_removingShown = 0;
};
