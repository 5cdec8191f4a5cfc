#include "screens/LogSearchModel.h"

#include "audio/TranscriptBook.h"
#include "export/LogExportText.h"
#include "model/LoggingLog.h"
#include "platform/JsonWriter.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <string_view>

namespace {

QString entryText(const LogEntry& entry)
{
    const QString parts[] = {entry.highlight, entry.summary, entry.note, entry.tags.join(QLatin1Char(' ')),
                             entry.speaker.value_or(QString())};
    return QStringList(std::begin(parts), std::end(parts)).join(QLatin1Char(' '));
}

} // namespace

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), size_t(bytes.size())};
}

// Texts end to end in one buffer, each followed by a zero byte: a scan reads memory in order
// instead of visiting one allocation per line, and a search of the whole buffer skips the rows
// between hits. Lines come and change at or near the end, where an edit moves little.
struct TextColumn {
    QByteArray data;
    // Where each text starts, and the buffer's end last.
    std::vector<qsizetype> starts{0};

    [[nodiscard]] int size() const { return int(starts.size()) - 1; }

    [[nodiscard]] std::string_view at(int row) const
    {
        const qsizetype from = starts[size_t(row)];
        return {data.constData() + from, size_t(starts[size_t(row) + 1] - from - 1)};
    }

    void clear()
    {
        data.clear();
        starts.assign(1, 0);
    }

    void put(int row, const QByteArray& text, bool inserted)
    {
        const qsizetype from = starts[size_t(row)];
        const qsizetype old = inserted ? 0 : starts[size_t(row) + 1] - from;
        data.replace(from, old, text + '\0');
        if (inserted)
            starts.insert(starts.begin() + row, from);
        const qsizetype shift = text.size() + 1 - old;
        for (size_t i = size_t(row) + 1; i < starts.size(); ++i)
            starts[i] += shift;
    }

    void erase(int first, int last)
    {
        const qsizetype from = starts[size_t(first)];
        const qsizetype cut = starts[size_t(last) + 1] - from;
        data.remove(from, cut);
        starts.erase(starts.begin() + first + 1, starts.begin() + last + 2);
        for (size_t i = size_t(first) + 1; i < starts.size(); ++i)
            starts[i] -= cut;
    }

    // The rows holding `needle`, in order; the needle has no zero byte, so it never spans two.
    void find(std::string_view needle, std::vector<int>& rows) const
    {
        const std::string_view all(data.constData(), size_t(data.size()));
        int row = 0;
        for (size_t at = all.find(needle); at != std::string_view::npos;
             at = all.find(needle, size_t(starts[size_t(row) + 1]))) {
            while (starts[size_t(row) + 1] <= qsizetype(at))
                ++row;
            rows.push_back(row);
        }
    }
};

} // namespace

// The lowercased texts the search reads, parallel to the log's entries and the transcript's rows.
// They are kept in UTF-8: a UTF-8 needle only ever matches a UTF-8 text at a character's start, so
// finding its bytes is finding its characters, and a byte search is the faster one.
struct LogSearchModel::Index {
    TextColumn entries;
    TextColumn lines;
    // Per line, its speaker among `speakers`; -1 for none.
    std::vector<int> lineSpeakers;
    // A shoot has a handful of speakers: each is lowercased and tested once per query.
    QList<QByteArray> speakers;
    QHash<QString, int> speakerIds;
    std::vector<char> speakerMatches;
    // The needle's bytes; empty when there is no query.
    QByteArray needle;

    [[nodiscard]] static QByteArray folded(const QString& text)
    {
        // Most of a transcript is ASCII: lowered and narrowed in one pass, without Unicode tables.
        QByteArray bytes(text.size(), Qt::Uninitialized);
        char* out = bytes.data();
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= 0x80)
                return text.toLower().toUtf8();
            *out++ = char(u >= u'A' && u <= u'Z' ? u + (u'a' - u'A') : u);
        }
        return bytes;
    }

    [[nodiscard]] bool has(std::string_view text) const
    {
        return !needle.isEmpty() && text.find(view(needle)) != std::string_view::npos;
    }

    void setNeedle(const QString& text)
    {
        needle = text.toUtf8();
        for (qsizetype i = 0; i < speakers.size(); ++i)
            speakerMatches[size_t(i)] = has(view(speakers.at(i)));
    }

    int speakerOf(const DisplaySegment& line)
    {
        if (!line.speaker || line.speaker->isEmpty())
            return -1;
        const auto known = speakerIds.constFind(*line.speaker);
        if (known != speakerIds.cend())
            return *known;
        speakers.append(folded(*line.speaker));
        speakerMatches.push_back(has(view(speakers.constLast())));
        return int(speakerIds.insert(*line.speaker, int(speakers.size() - 1)).value());
    }

    [[nodiscard]] TextColumn& column(Source source) { return source == Source::Entries ? entries : lines; }
    [[nodiscard]] const TextColumn& column(Source source) const { return source == Source::Entries ? entries : lines; }

    [[nodiscard]] bool saidByMatchingSpeaker(int row) const
    {
        const int speaker = lineSpeakers[size_t(row)];
        return speaker >= 0 && speakerMatches[size_t(speaker)];
    }

    [[nodiscard]] bool matches(Source source, int row) const
    {
        return has(column(source).at(row)) || (source == Source::Lines && saidByMatchingSpeaker(row));
    }

    // Every row of `source` that matches, in order.
    void find(Source source, std::vector<int>& rows) const
    {
        const int count = column(source).size();
        if (needle.isEmpty())
            return;
        if (needle.contains('\0')) {
            for (int row = 0; row < count; ++row) {
                if (matches(source, row))
                    rows.push_back(row);
            }
            return;
        }
        column(source).find(view(needle), rows);
        if (source == Source::Entries ||
            std::find(speakerMatches.begin(), speakerMatches.end(), 1) == speakerMatches.end())
            return;
        // Lines whose speaker matches join those whose words do.
        std::vector<int> merged;
        size_t next = 0;
        for (int row = 0; row < count; ++row) {
            const bool byText = next < rows.size() && rows[next] == row;
            next += byText ? 1 : 0;
            if (byText || saidByMatchingSpeaker(row))
                merged.push_back(row);
        }
        rows.swap(merged);
    }
};

LogSearchModel::Sources LogSearchModel::Sources::of(LoggingScreenModel& screen, APIService& service)
{
    Sources sources;
    sources.log = &screen.log();
    sources.transcript = &screen.transcriber().transcript();
    sources.lineTimecode = [&screen](const DisplaySegment& line) { return screen.lineTimecode(line); };
    sources.jumpToHit = [&screen](const std::optional<QUuid>& entryID, const std::optional<QString>& lineID) {
        screen.jumpToHit(entryID, lineID);
    };
    sources.service = &service;
    return sources;
}

LogSearchModel::LogSearchModel(Sources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_index(std::make_unique<Index>())
{
    m_rows = new LogSearchRows(*this);
    keepAll(Source::Entries);
    keepAll(Source::Lines);
    connectSources();
}

LogSearchModel::~LogSearchModel() = default;

bool LogSearchModel::longEnough(const QString& text, int characters)
{
    // Fewer UTF-16 units than characters cannot hold that many characters: no boundary walk.
    return text.size() >= characters && LogExport::characterCount(text, characters) >= characters;
}

void LogSearchModel::connectSources()
{
    if (const LoggingLog* log = m_sources.log) {
        connect(log, &LoggingLog::entryRowsInserted, this,
                [this](int first, int last) { rowsInserted(Source::Entries, first, last); });
        connect(log, &LoggingLog::entryRowsRemoved, this,
                [this](int first, int last) { rowsRemoved(Source::Entries, first, last); });
        connect(log, &LoggingLog::entryRowsChanged, this,
                [this](int first, int last) { rowsChanged(Source::Entries, first, last); });
        connect(log, &LoggingLog::entriesReset, this, [this] { sourceReset(Source::Entries); });
    }
    if (const TranscriptBook* book = m_sources.transcript) {
        connect(book, &TranscriptBook::rowsInserted, this,
                [this](int first, int last) { rowsInserted(Source::Lines, first, last); });
        connect(book, &TranscriptBook::rowsRemoved, this,
                [this](int first, int last) { rowsRemoved(Source::Lines, first, last); });
        connect(book, &TranscriptBook::rowsChanged, this,
                [this](int first, int last) { rowsChanged(Source::Lines, first, last); });
        connect(book, &TranscriptBook::wasReset, this, [this] { sourceReset(Source::Lines); });
    }
}

void LogSearchModel::setScope(Scope scope)
{
    if (scope == m_scope)
        return;
    m_scope = scope;
    Q_EMIT scopeChanged();
}

void LogSearchModel::setQuery(const QString& query)
{
    if (query == m_query)
        return;
    m_query = query;
    const QString trimmed = LogExport::trimSpacesAndTabs(query).toLower();
    search(longEnough(trimmed, kShortestLocalQuery) ? trimmed : QString());
    Q_EMIT queryChanged();
}

// --- this log ---

void LogSearchModel::keep(Source source, int row, bool inserted)
{
    if (source == Source::Entries) {
        m_index->entries.put(row, Index::folded(entryText(m_sources.log->entries().at(row))), inserted);
        return;
    }
    const DisplaySegment& line = m_sources.transcript->rows().at(row);
    m_index->lines.put(row, Index::folded(line.text), inserted);
    const int speaker = m_index->speakerOf(line);
    auto& speakers = m_index->lineSpeakers;
    if (inserted)
        speakers.insert(speakers.begin() + row, speaker);
    else
        speakers[size_t(row)] = speaker;
}

void LogSearchModel::keepAll(Source source)
{
    m_index->column(source).clear();
    if (source == Source::Lines)
        m_index->lineSpeakers.clear();
    const qsizetype count = source == Source::Entries
                                ? (m_sources.log ? m_sources.log->entries().size() : 0)
                                : (m_sources.transcript ? m_sources.transcript->rows().size() : 0);
    for (int row = 0; row < count; ++row)
        keep(source, row, true);
}

void LogSearchModel::scan(Source source)
{
    std::vector<int>& hits = hitsOf(source);
    hits.clear();
    m_index->find(source, hits);
}

void LogSearchModel::search(const QString& needle)
{
    if (needle == m_needle)
        return;
    // Whatever contains the new needle contains the old one, so only the old hits can match.
    const bool narrowing = !m_needle.isEmpty() && needle.contains(m_needle);
    m_rows->beginRestart();
    m_needle = needle;
    m_index->setNeedle(needle);
    for (const Source source : {Source::Entries, Source::Lines}) {
        if (narrowing)
            std::erase_if(hitsOf(source), [&](int row) { return !m_index->matches(source, row); });
        else
            scan(source);
    }
    m_rows->endRestart();
    Q_EMIT hitsChanged();
}

std::vector<int>& LogSearchModel::hitsOf(Source source)
{
    return source == Source::Entries ? m_entryHits : m_lineHits;
}

qsizetype LogSearchModel::rowOf(Source source, qsizetype position) const
{
    return source == Source::Entries ? position : qsizetype(m_entryHits.size()) + position;
}

void LogSearchModel::insertHit(Source source, qsizetype position, int row)
{
    const bool announced = m_rows->aboutToInsert(rowOf(source, position));
    std::vector<int>& hits = hitsOf(source);
    hits.insert(hits.begin() + position, row);
    m_rows->inserted(announced);
}

void LogSearchModel::removeHits(Source source, qsizetype from, qsizetype to)
{
    const qsizetype announced = m_rows->aboutToRemove(rowOf(source, from), to - from);
    std::vector<int>& hits = hitsOf(source);
    hits.erase(hits.begin() + from, hits.begin() + to);
    m_rows->removed(announced);
}

void LogSearchModel::rowsInserted(Source source, int first, int last)
{
    for (int row = first; row <= last; ++row)
        keep(source, row, true);
    std::vector<int>& hits = hitsOf(source);
    const int count = last - first + 1;
    std::for_each(std::lower_bound(hits.begin(), hits.end(), first), hits.end(), [count](int& row) { row += count; });
    bool any = false;
    for (int row = first; row <= last; ++row) {
        if (!m_index->matches(source, row))
            continue;
        insertHit(source, std::lower_bound(hits.begin(), hits.end(), row) - hits.begin(), row);
        any = true;
    }
    if (any)
        Q_EMIT hitsChanged();
}

void LogSearchModel::rowsRemoved(Source source, int first, int last)
{
    m_index->column(source).erase(first, last);
    if (source == Source::Lines)
        m_index->lineSpeakers.erase(m_index->lineSpeakers.begin() + first, m_index->lineSpeakers.begin() + last + 1);
    std::vector<int>& hits = hitsOf(source);
    const qsizetype from = std::lower_bound(hits.begin(), hits.end(), first) - hits.begin();
    const qsizetype to = std::upper_bound(hits.begin(), hits.end(), last) - hits.begin();
    if (to > from)
        removeHits(source, from, to);
    const int count = last - first + 1;
    std::for_each(hits.begin() + from, hits.end(), [count](int& row) { row -= count; });
    if (to > from)
        Q_EMIT hitsChanged();
}

void LogSearchModel::rowsChanged(Source source, int first, int last)
{
    std::vector<int>& hits = hitsOf(source);
    bool any = false;
    for (int row = first; row <= last; ++row) {
        keep(source, row, false);
        const bool matches = m_index->matches(source, row);
        const auto at = std::lower_bound(hits.begin(), hits.end(), row);
        const qsizetype position = at - hits.begin();
        const bool had = at != hits.end() && *at == row;
        if (matches && !had)
            insertHit(source, position, row);
        else if (!matches && had)
            removeHits(source, position, position + 1);
        else if (matches)
            m_rows->changed(rowOf(source, position));
        any = any || matches || had;
    }
    if (any)
        Q_EMIT hitsChanged();
}

void LogSearchModel::sourceReset(Source source)
{
    m_rows->beginRestart();
    keepAll(source);
    scan(source);
    m_rows->endRestart();
    Q_EMIT hitsChanged();
}

qsizetype LogSearchModel::hitCount() const
{
    return qsizetype(m_entryHits.size() + m_lineHits.size());
}

LogSearchHit LogSearchModel::hit(qsizetype row) const
{
    const auto entryCount = qsizetype(m_entryHits.size());
    if (row < 0 || row >= hitCount())
        return {};
    if (row < entryCount) {
        const LogEntry& entry = m_sources.log->entries().at(m_entryHits[size_t(row)]);
        return LogSearchHit{uuidText(entry.id),
                            entry.timecode,
                            entry.speaker.value_or(QString()),
                            entry.summary.isEmpty() ? entry.highlight : entry.summary,
                            entry.lineID,
                            entry.id};
    }
    const DisplaySegment& line = m_sources.transcript->rows().at(m_lineHits[size_t(row - entryCount)]);
    return LogSearchHit{line.id,
                        m_sources.lineTimecode ? m_sources.lineTimecode(line) : line.timecode,
                        line.speaker.value_or(QString()),
                        line.text,
                        line.id,
                        std::nullopt};
}

QList<LogSearchHit> LogSearchModel::hits() const
{
    QList<LogSearchHit> all;
    all.reserve(hitCount());
    for (qsizetype row = 0; row < hitCount(); ++row)
        all.append(hit(row));
    return all;
}

bool LogSearchModel::nothingFound() const
{
    return hitCount() == 0 && longEnough(m_query, kShortestLocalQuery);
}

void LogSearchModel::activate(qsizetype row)
{
    if (row < 0 || row >= hitCount() || !m_sources.jumpToHit)
        return;
    const LogSearchHit chosen = hit(row);
    m_sources.jumpToHit(chosen.entryID, chosen.lineID);
}

// --- the rows ---

LogSearchRows::LogSearchRows(LogSearchModel& search) : QAbstractListModel(&search), m_search(search)
{
}

QString LogSearchRows::accessibleText(const LogSearchHit& hit)
{
    QStringList parts;
    for (const QString& part :
         {hit.timecode, hit.who, hit.entryID ? QString::fromLatin1(kEntryBadge) : QString(), hit.text}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(QStringLiteral(", "));
}

int LogSearchRows::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown);
}

QVariant LogSearchRows::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    switch (role) {
    case HitRole:
        return QVariant::fromValue(m_search.hit(index.row()));
    case FromEntryRole:
        return index.row() < qsizetype(m_search.m_entryHits.size());
    case Qt::DisplayRole:
        return m_search.hit(index.row()).text;
    case Qt::AccessibleTextRole:
        return accessibleText(m_search.hit(index.row()));
    default:
        return {};
    }
}

bool LogSearchRows::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_shown < m_search.hitCount();
}

void LogSearchRows::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const qsizetype more = std::min<qsizetype>(kBatch, m_search.hitCount() - m_shown);
    beginInsertRows({}, int(m_shown), int(m_shown + more - 1));
    m_shown += more;
    endInsertRows();
}

void LogSearchRows::endRestart()
{
    m_shown = std::min<qsizetype>(kBatch, m_search.hitCount());
    endResetModel();
}

bool LogSearchRows::aboutToInsert(qsizetype row)
{
    // A row past those given waits for fetchMore, unless every row was given already.
    if (row > m_shown || (row == m_shown && m_shown < m_search.hitCount()))
        return false;
    beginInsertRows({}, int(row), int(row));
    return true;
}

void LogSearchRows::inserted(bool announced)
{
    if (!announced)
        return;
    ++m_shown;
    endInsertRows();
}

qsizetype LogSearchRows::aboutToRemove(qsizetype row, qsizetype count)
{
    if (row >= m_shown)
        return 0;
    const qsizetype shown = std::min(count, m_shown - row);
    beginRemoveRows({}, int(row), int(row + shown - 1));
    return shown;
}

void LogSearchRows::removed(qsizetype announced)
{
    if (announced == 0)
        return;
    m_shown -= announced;
    endRemoveRows();
}

void LogSearchRows::changed(qsizetype row)
{
    if (row < m_shown)
        Q_EMIT dataChanged(index(int(row)), index(int(row)));
}
