#pragma once

#include "ShootStore.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The service's "intelligence", made deterministic: the same text always gives the same
// answer, so tests can state what they expect.
namespace standin::text {

inline constexpr int kSummaryWords = 12;
inline constexpr int kMaxSearchResults = 50;

// "Summary: " and the first sentence of the transcript, cut to kSummaryWords words (an
// ellipsis marks a cut); empty for a transcript without words.
[[nodiscard]] QString summarise(const QString& transcript);

// The most frequent word of the lines that is not a stop word and has 3 or more letters,
// lower case; ties go to the alphabetically first. `count` receives its number of uses.
[[nodiscard]] QString topWord(const QStringList& lines, int& count);

// One brief for a channel object of the request ("index", "lines", optional "previous_topic").
// A topic needs `minUses` uses (low 3, normal 2, high 1); below that the channel is "quiet".
[[nodiscard]] QJsonObject briefFor(qint64 index, const QStringList& lines, const QString& previousTopic, int minUses);

// The lines of the owner's shoots whose text holds `query` (case-insensitive), oldest shoot
// first, in transcript order, at most kMaxSearchResults.
[[nodiscard]] QJsonArray search(const QList<const Shoot*>& shoots, const QString& query);

// The small page that a share link opens.
[[nodiscard]] QByteArray sharePage(const Shoot& shoot);

} // namespace standin::text
