#pragma once

#include "platform/Defaults.h"

#include <QObject>
#include <QString>
#include <QStringList>

// The tags offered for log entries, in the order added. Tags compare exactly, so "Sync" and
// "sync" are two tags. There is no removal. Main thread only.
class LogTagStore : public QObject {
    Q_OBJECT

public:
    static inline const QString key = QStringLiteral("pindle_log_tags");

    explicit LogTagStore(Defaults& defaults = Defaults::shared(), QObject* parent = nullptr);

    [[nodiscard]] static QStringList defaultTags();

    [[nodiscard]] const QStringList& available() const { return m_available; }

    // Appends `text` trimmed of blanks at both ends (TextCuts: spaces of any kind and tabs; line
    // breaks stay), unless it is empty or already offered; stores the palette when it grew.
    void add(const QString& text);
    void save();

Q_SIGNALS:
    void availableChanged();

private:
    Defaults& m_defaults;
    QStringList m_available;
};
