#pragma once

#include "screens/LineUse.h"
#include "screens/TranscriptPaneModel.h"

#include <QAbstractListModel>
#include <QSet>

#include <optional>
#include <utility>

// The transcript pane's rows: the visible lines, or the held snapshot while the pane holds still,
// with what a row draws (timecode, speaker, marks, badge, bell, highlights) as roles.
//
// It follows the pane's row news, so a new line inserts one row and a changed line redraws one,
// whatever the transcript's length. While held it keeps a hold of its own (where the rows stood
// and which lines came, left or changed, never a copy of the lines); when the hold ends it
// removes, inserts and redraws just those, so the rows become the live lines again in order,
// without a reset, without losing or repeating a line. Hover, selection, the jump target, the
// keyword bell and the used state redraw only the rows they leave and reach.
class TranscriptListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        TimecodeRole,
        // The speaker's given name, else the label; empty for a line without a speaker.
        SpeakerRole,
        SpeakerLabelRole,
        // The line's channel; negative for none (drawn in coral).
        ChannelRole,
        TextRole,
        // Marks: where the logged texts stand in the text, in UTF-16 units.
        MarksRole,
        // LineUse::State, as an int.
        UseRole,
        FlaggedRole,
        JumpTargetRole,
        SelectedRole,
        HoverRole,
    };
    using Marks = QList<std::pair<qsizetype, qsizetype>>;

    static constexpr char kHelpFullyUsed[] = "Already selected";
    static constexpr char kHelpPartlyUsed[] = "Select the new words in this line";
    static constexpr char kHelpUnused[] = "Select this line";
    static constexpr char kKeywordAlert[] = "Keyword alert";

    explicit TranscriptListModel(TranscriptPaneModel& pane, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    // The row showing line `id`, live or held.
    [[nodiscard]] std::optional<int> rowOf(const QString& id) const;
    [[nodiscard]] bool isHeld() const { return m_held.has_value(); }
    [[nodiscard]] static QString helpOf(LineUse::State state);

private:
    [[nodiscard]] const DisplaySegment& lineAt(int row) const;
    [[nodiscard]] std::optional<int> heldRowOf(const QString& id) const;
    [[nodiscard]] QString accessibleText(const DisplaySegment& line) const;
    void hold();
    void release();
    void followState();
    void followFlags();
    void followUse(const QStringList& lines);
    void redraw(const QSet<QString>& ids, const QList<int>& roles);
    void redrawAll(const QList<int>& roles);

    TranscriptPaneModel& m_pane;
    // What the rows were last drawn with.
    TranscriptPaneState m_drawn;
    QSet<QString> m_flagged;
    std::optional<TranscriptHold> m_held;
};
