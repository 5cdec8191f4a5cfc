#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// A dot of the agent's chat, named by its colour's role so the rows stay free of the appearance:
// the view resolves Muted and Coral from the palette and Channel through channelColor.
struct AgentDot {
    enum class Role { Muted, Coral, Channel };
    Role role = Role::Muted;
    // The channel whose colour it takes (Role::Channel only).
    int channel = 0;

    // Muted for no channel, coral for the microphone (a negative index), else the channel's own.
    [[nodiscard]] static AgentDot forChannel(std::optional<int> channel);

    friend bool operator==(const AgentDot&, const AgentDot&) = default;
};

// One feed item as its speech bubble shows it.
struct AgentBubble {
    QUuid id;
    std::optional<int> channel;
    // Empty for an item of no channel, which then shows no dot.
    QString channelName;
    AgentDot dot;
    QString sentence;
    // "New", "Alert" or empty.
    QString tag;
    // A bell before the tag (keyword items).
    bool bell = false;
    QString detail;
    bool detailItalic = false;
    // The item's time of day, short, in the locale.
    QString time;
    // The bubble's help; empty for an item of no channel.
    QString help;

    [[nodiscard]] bool showsDot() const { return !channelName.isEmpty(); }

    friend bool operator==(const AgentBubble&, const AgentBubble&) = default;
};

struct AgentLiveLine {
    QString id;
    QString text;

    friend bool operator==(const AgentLiveLine&, const AgentLiveLine&) = default;
};

// The "Live on" panel of the channel the logger opened.
struct AgentLive {
    int channel = 0;
    AgentDot dot;
    // "Live on <name>".
    QString title;
    // The channel's last few lines, oldest first.
    QList<AgentLiveLine> lines;

    friend bool operator==(const AgentLive&, const AgentLive&) = default;
};

// One row of the chat column.
struct AgentChatRow {
    enum class Kind { Empty, Bubble, Live };
    Kind kind = Kind::Empty;
    // The empty-state text (Kind::Empty).
    QString text;
    AgentBubble bubble;
    AgentLive live;

    // Stable across updates: "empty", "live", or the feed item's id.
    [[nodiscard]] QString key() const;

    friend bool operator==(const AgentChatRow&, const AgentChatRow&) = default;
};

// The chat column's rows: the empty-state text, one bubble per feed item, then the live panel.
// A new list is applied as removals, insertions and redraws of the rows whose keys left, came or
// changed, so a view keeps its scroll position and can animate the bubbles that arrive.
class AgentChatRows final : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the row's words for assistive tools; tool tip: a bubble's help.
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    [[nodiscard]] const AgentChatRow& at(int row) const { return m_rows.at(row); }
    [[nodiscard]] const QList<AgentChatRow>& rows() const { return m_rows; }
    [[nodiscard]] std::optional<int> rowOf(const QString& key) const;

    // Keys must be unique. Rows that kept their keys in the same order are updated in place;
    // otherwise the model is reset.
    void setRows(const QList<AgentChatRow>& rows);

private:
    QList<AgentChatRow> m_rows;
};
