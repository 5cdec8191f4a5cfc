#include "screens/AgentChatRows.h"

#include <QSet>

AgentDot AgentDot::forChannel(std::optional<int> channel)
{
    if (!channel)
        return {Role::Muted, 0};
    if (*channel < 0)
        return {Role::Coral, 0};
    return {Role::Channel, *channel};
}

QString AgentChatRow::key() const
{
    switch (kind) {
    case Kind::Bubble:
        return bubble.id.toString(QUuid::WithoutBraces);
    case Kind::Live:
        return QStringLiteral("live");
    case Kind::Empty:
        break;
    }
    return QStringLiteral("empty");
}

int AgentChatRows::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant AgentChatRows::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AgentChatRow& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (row.kind) {
        case AgentChatRow::Kind::Empty:
            return row.text;
        case AgentChatRow::Kind::Bubble:
            return row.bubble.sentence;
        case AgentChatRow::Kind::Live:
            return row.live.title;
        }
        return {};
    case Qt::ToolTipRole:
        if (row.kind == AgentChatRow::Kind::Bubble && !row.bubble.help.isEmpty())
            return row.bubble.help;
        return {};
    default:
        return {};
    }
}

std::optional<int> AgentChatRows::rowOf(const QString& key) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).key() == key)
            return int(i);
    }
    return std::nullopt;
}

void AgentChatRows::setRows(const QList<AgentChatRow>& rows)
{
    QStringList keys;
    keys.reserve(rows.size());
    for (const AgentChatRow& row : rows)
        keys.append(row.key());
    const QSet<QString> wanted(keys.cbegin(), keys.cend());

    // Rows whose keys are gone leave in runs (the agent trims the feed from its oldest end).
    for (qsizetype last = m_rows.size() - 1; last >= 0; --last) {
        if (wanted.contains(m_rows.at(last).key()))
            continue;
        qsizetype first = last;
        while (first > 0 && !wanted.contains(m_rows.at(first - 1).key()))
            --first;
        beginRemoveRows({}, int(first), int(last));
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }

    // What stays must keep its order; anything else is rare enough to start over.
    QSet<QString> kept;
    qsizetype next = 0;
    for (const QString& key : keys) {
        if (next < m_rows.size() && m_rows.at(next).key() == key) {
            kept.insert(key);
            ++next;
        }
    }
    if (next != m_rows.size()) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }

    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (kept.contains(keys.at(i))) {
            if (!(m_rows.at(i) == rows.at(i))) {
                m_rows[i] = rows.at(i);
                Q_EMIT dataChanged(index(int(i)), index(int(i)));
            }
            continue;
        }
        qsizetype end = i + 1;
        while (end < rows.size() && !kept.contains(keys.at(end)))
            ++end;
        beginInsertRows({}, int(i), int(end - 1));
        m_rows.insert(i, end - i, AgentChatRow());
        for (qsizetype j = i; j < end; ++j)
            m_rows[j] = rows.at(j);
        endInsertRows();
        i = end - 1;
    }
}
