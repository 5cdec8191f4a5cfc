#pragma once

#include <QAbstractListModel>
#include <QSet>
#include <QUuid>

#include <optional>

#include "screens/LogPaneModel.h"

struct LogEntry;

// The log pane's rows: one per entry of the log, in log order, with what a row draws (badge,
// said text, flags) as roles. It follows the log's row news, so an edit redraws only the rows it
// touched and a new entry inserts one row; the pane's selection, flash and note editing redraw
// only the rows they leave and reach.
class LogEntryListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        // The button's name for the kind, else the kind capitalised.
        BadgeRole,
        BadgeColorRole,
        TimecodeRole,
        OpenRole,
        SpeakerRole,
        // The index of the channel named like the speaker; -1 (drawn in coral) when none is.
        SpeakerChannelRole,
        // The highlight, else the summary, else "Recording…" while open, else an en dash.
        SaidTextRole,
        // The said text is not the entry's own words.
        SaidMutedRole,
        NoteRole,
        TagsRole,
        SuggestedRole,
        SummarisingRole,
        FlashingRole,
        SelectedRole,
        EditingNoteRole,
        // How much of the new-entry flash the row shows now, 0 to 1; it changes with time alone,
        // so a view that draws it fading repaints the row on its own frames.
        FlashLevelRole,
    };

    static constexpr quint32 kUnknownBadgeHex = LogPaneModel::kUnknownBadgeHex;
    static constexpr char kEmptyHelp[] =
        "Press Start logging. Press a button (Ctrl+1, Ctrl+2…), tick the lines you want, press Enter. Ctrl+N adds "
        "a note to the last one. Or click any line to select just that line.";

    explicit LogEntryListModel(LogPaneModel& pane, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    // NoteRole only: the note field writes through here.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] static QString saidText(const LogEntry& entry);

private:
    // A row read out: its cells' texts in order, the note, whether it is a suggestion.
    [[nodiscard]] QString accessibleText(const LogEntry& entry) const;
    void rowsOf(const QSet<QUuid>& ids, const QList<int>& roles);
    void allRowsChanged(const QList<int>& roles);
    void followState();

    LogPaneModel& m_pane;
    // What the rows were last drawn with, to redraw only the rows that change.
    LogPaneState m_drawn;
};
