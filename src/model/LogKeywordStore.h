#pragma once

#include "platform/Defaults.h"

#include <QObject>
#include <QString>
#include <QStringList>

// The words the keyword alerts listen for, in the order added. Words compare without case when
// added, so "Police" and "police" are one alert. Main thread only.
class LogKeywordStore : public QObject {
    Q_OBJECT

public:
    static inline const QString key = QStringLiteral("pindle_logger_keywords");

    explicit LogKeywordStore(Defaults& defaults = Defaults::shared(), QObject* parent = nullptr);

    [[nodiscard]] const QStringList& words() const { return m_words; }

    // Adds each comma-separated piece of `text`, trimmed, unless a word already in the list
    // (an earlier piece included) matches it ignoring case. Stores after each word added.
    void add(const QString& text);
    // Removes every word equal to `word` exactly, then stores the list, also when none matched.
    void remove(const QString& word);
    void save();

Q_SIGNALS:
    void wordsChanged();

private:
    void assign(QStringList words);

    Defaults& m_defaults;
    QStringList m_words;
};
