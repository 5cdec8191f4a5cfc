#pragma once

#include "model/DisplaySegment.h"

#include <QAbstractListModel>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class APIService;
class LoggingLog;
class LoggingScreenModel;
class LogSearchRows;
class TranscriptBook;
struct ServiceReply;
template <typename T> class ServiceResult;

// A hit in this log: an entry or a transcript line.
struct LogSearchHit {
    // The entry's uuid text, or the line's id.
    QString id;
    QString timecode;
    QString who;
    QString text;
    std::optional<QString> lineID;
    // Set only for an entry.
    std::optional<QUuid> entryID;

    friend bool operator==(const LogSearchHit&, const LogSearchHit&) = default;
};
Q_DECLARE_METATYPE(LogSearchHit)

// A line of another shoot, as the service's search found it. Every text is capped.
struct CloudSearchHit {
    QUuid id;
    QString token;
    QString title;
    QString timecode;
    QString speaker;
    QString text;
    // The service's reason for the hit; empty when it gave none.
    QString why;

    friend bool operator==(const CloudSearchHit&, const CloudSearchHit&) = default;
};

// The search sheet without widgets: a live search of this log as the query is typed, and the
// service's search across the user's shoots on demand.
//
// The local search keeps every entry's and line's lowercased text and follows the log's and the
// transcript's row news, so a keystroke only scans (or, when the query grows, rescans the previous
// hits) and an appended line costs one test. Hits are kept as rows and built when read.
//
// The cloud answer is untrusted: only the expected types are read, texts and counts are capped,
// and an answer to anything but the newest request is dropped. Main thread only.
class LogSearchModel : public QObject {
    Q_OBJECT

public:
    enum Scope { ThisLog = 0, AllShoots = 1 };

    // What the search reads and acts on. The objects must outlive the model.
    struct Sources {
        const LoggingLog* log = nullptr;
        const TranscriptBook* transcript = nullptr;
        std::function<QString(const DisplaySegment&)> lineTimecode;
        std::function<void(const std::optional<QUuid>& entryID, const std::optional<QString>& lineID)> jumpToHit;
        APIService* service = nullptr;

        // The logging screen's log, transcript, line timecodes and jump, with `service`.
        [[nodiscard]] static Sources of(LoggingScreenModel& screen, APIService& service);
    };

    static constexpr int kShortestLocalQuery = 2;
    static constexpr int kShortestCloudQuery = 3;
    static constexpr std::chrono::seconds kCloudTimeout{60};
    // Caps on what the service's answer may make us hold.
    static constexpr int kMostCloudHits = 200;
    static constexpr int kLongestCloudText = 2000;
    static constexpr int kLongestProblem = 300;
    // As much as the service client takes in: an answer it hands over is read.
    static constexpr qsizetype kLargestAnswerBytes = 4 * 1024 * 1024;

    static constexpr char kUnreachable[] = "Couldn't reach Pindle.";
    static constexpr char kSearchFailed[] = "Search didn't work just now.";
    static constexpr char kNoCloudHits[] = "No lines matched across your shoots.";
    static constexpr char kUntitledShoot[] = "Untitled shoot";

    explicit LogSearchModel(Sources sources, QObject* parent = nullptr);
    ~LogSearchModel() override;

    [[nodiscard]] Scope scope() const { return m_scope; }
    void setScope(Scope scope);
    // As typed.
    [[nodiscard]] const QString& query() const { return m_query; }
    void setQuery(const QString& query);

    // --- this log ---
    [[nodiscard]] qsizetype hitCount() const;
    [[nodiscard]] LogSearchHit hit(qsizetype row) const;
    // Every hit, built: for tests and small logs.
    [[nodiscard]] QList<LogSearchHit> hits() const;
    // The query as typed is long enough, but nothing in this log matches it. Follows queryChanged
    // and hitsChanged.
    [[nodiscard]] bool nothingFound() const;
    // The hits as a list model that hands them out a batch at a time.
    [[nodiscard]] LogSearchRows* rows() const { return m_rows; }
    // The screen jumps to the hit.
    void activate(qsizetype row);

    // --- all shoots ---
    [[nodiscard]] bool searching() const { return m_searching; }
    // Empty when there is none.
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] const QList<CloudSearchHit>& cloudHits() const { return m_cloudHits; }
    // Not searching, and the query as typed is long enough.
    [[nodiscard]] bool canSubmit() const;
    // Asks the service about the trimmed query; the hits shown stay until it answers.
    void submit();

    // "<timecode>  <speaker>: <text>", for the clipboard.
    [[nodiscard]] static QString copyText(const CloudSearchHit& hit);
    // The shoot's page under `base`; none unless it is a valid http or https URL.
    [[nodiscard]] static std::optional<QUrl> shootUrl(const QString& base, const QString& token);
    [[nodiscard]] std::optional<QUrl> shootUrl(const CloudSearchHit& hit) const;

Q_SIGNALS:
    void scopeChanged();
    void queryChanged();
    // The local hits changed (the query, or the log under it).
    void hitsChanged();
    // searching, problem or the cloud hits changed.
    void cloudChanged();

private:
    // `text` holds at least `characters` characters (not UTF-16 units).
    [[nodiscard]] static bool longEnough(const QString& text, int characters);
    friend class LogSearchRows;
    struct Index;
    enum class Source { Entries, Lines };

    void connectSources();
    // Keeps the lowercased text of `row` of `source`, as a new row or in place of the old one.
    void keep(Source source, int row, bool inserted);
    void keepAll(Source source);
    // Every row of `source` that matches the needle.
    void scan(Source source);
    // Finds the hits of `needle`, narrowing the previous hits when it contains the previous needle.
    void search(const QString& needle);
    void rowsInserted(Source source, int first, int last);
    void rowsRemoved(Source source, int first, int last);
    void rowsChanged(Source source, int first, int last);
    void sourceReset(Source source);
    // Where hit `position` of `source` sits among all hits.
    [[nodiscard]] qsizetype rowOf(Source source, qsizetype position) const;
    [[nodiscard]] std::vector<int>& hitsOf(Source source);
    // Hits change one row at a time, with the list model's news around each change.
    void insertHit(Source source, qsizetype position, int row);
    void removeHits(Source source, qsizetype from, qsizetype to);
    void answer(quint64 ticket, const ServiceResult<ServiceReply>& result);
    void setCloud(bool searching, const QString& problem, const std::optional<QList<CloudSearchHit>>& hits);

    Sources m_sources;
    Scope m_scope = ThisLog;
    QString m_query;
    std::unique_ptr<Index> m_index;
    // The lowercased, trimmed query the hits are for; empty when too short.
    QString m_needle;
    // Rows of the entries and the lines that match, in order.
    std::vector<int> m_entryHits;
    std::vector<int> m_lineHits;
    LogSearchRows* m_rows = nullptr;

    bool m_searching = false;
    QString m_problem;
    QList<CloudSearchHit> m_cloudHits;
    // The newest request; answers to older ones are dropped.
    quint64 m_ticket = 0;
};

// The local hits for a list view: entries first, then lines. Rows are handed out a batch at a
// time as the view scrolls (fetchMore), so a query matching 50,000 lines lays out only a few.
class LogSearchRows final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        HitRole = Qt::UserRole + 1,
        // An entry, which draws the badge.
        FromEntryRole,
    };
    // The badge an entry's row draws after its header.
    static constexpr char kEntryBadge[] = "SELECT";
    // A few screens of rows: laying out a row's wrapped text is most of what a new query costs the view.
    static constexpr int kBatch = 30;

    // A row as assistive tools read it: what the row draws, in order. An entry with no words
    // still reads its header.
    [[nodiscard]] static QString accessibleText(const LogSearchHit& hit);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    friend class LogSearchModel;
    explicit LogSearchRows(LogSearchModel& search);

    void beginRestart() { beginResetModel(); }
    // Shows the first batch of the new hits.
    void endRestart();
    // Hit `row` of all hits comes, or `count` hits from `row` go. Only what the view was given is
    // announced: each gives what the matching done call takes (false or 0 for nothing).
    [[nodiscard]] bool aboutToInsert(qsizetype row);
    void inserted(bool announced);
    [[nodiscard]] qsizetype aboutToRemove(qsizetype row, qsizetype count);
    void removed(qsizetype announced);
    void changed(qsizetype row);

    LogSearchModel& m_search;
    qsizetype m_shown = 0;
};
