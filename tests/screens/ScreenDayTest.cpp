#include "ScreenRig.h"
#include "WrittenLines.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "screens/TranscriptListModel.h"

#include <QRandomGenerator>

namespace {

using screen_test::WrittenLines;

// A screen whose one stream's lines the test writes.
struct DayRig : screen_test::RigParts {
    DayRig(const QUrl& base, const QString& cookie) : RigParts(base, cookie, 100)
    {
        LoggingScreenEnvironment env = environment(false);
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            stream = std::make_shared<WrittenLines>(request.channel);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        screen->transcriber().start();
    }

    void put(qint64 n, double start, const QString& text = QStringLiteral("we lose the light"))
    {
        DisplaySegment line;
        line.id = QStringLiteral("line-%1").arg(n);
        line.text = text;
        line.startSecs = start;
        line.endSecs = start + 1;
        line.speaker = QStringLiteral("Ada");
        line.firstSeen = clock.now();
        stream->put(line);
    }
    // The lines as the old screen took them: the visible lines, copied.
    [[nodiscard]] QStringList visibleNow() const
    {
        QStringList out;
        for (const DisplaySegment& line : screen->visibleSegments())
            out.append(line.id + u'|' + line.text);
        return out;
    }
    [[nodiscard]] QStringList shownByPane() const
    {
        const TranscriptPaneModel& pane = screen->transcriptPane();
        QStringList out;
        for (qsizetype row = 0; row < pane.shownCount(); ++row)
            out.append(pane.shownLine(row).id + u'|' + pane.shownLine(row).text);
        return out;
    }
    // A random arrival (mostly at the end, sometimes earlier), change or removal.
    void change(QRandomGenerator& random, qint64& next)
    {
        const QList<DisplaySegment> lines = screen->visibleSegments();
        const int kind = lines.isEmpty() ? 0 : random.bounded(6);
        if (kind <= 2) {
            const double start = kind == 0 ? random.bounded(double(next) * 2) : double(next) * 2;
            put(next, start);
            ++next;
        } else if (kind <= 4) {
            const QString id = lines.at(random.bounded(lines.size())).id;
            stream->change(id, QStringLiteral("changed %1").arg(random.bounded(1000)));
        } else {
            stream->takeBack(lines.at(random.bounded(lines.size())).id);
        }
    }

    std::shared_ptr<WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
};

QString rowText(const QAbstractItemModel& model, int row)
{
    const QModelIndex index = model.index(row, 0);
    return index.data(TranscriptListModel::IdRole).toString() + u'|' +
           index.data(TranscriptListModel::TextRole).toString();
}

QStringList rowsOf(const QAbstractItemModel& model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out.append(rowText(model, row));
    return out;
}

// What a view holds of a list model: its rows as announced, and whether it was reset.
struct Mirror {
    explicit Mirror(QAbstractItemModel& model) : rows(rowsOf(model))
    {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model,
                         [this, &model](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 rows.insert(row, rowText(model, row));
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &model,
                         [this](const QModelIndex&, int first, int last) { rows.remove(first, last - first + 1); });
        QObject::connect(&model, &QAbstractItemModel::dataChanged, &model,
                         [this, &model](const QModelIndex& from, const QModelIndex& to) {
                             for (int row = from.row(); row <= to.row(); ++row)
                                 rows[row] = rowText(model, row);
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, &model, [this, &model] {
            resets += 1;
            rows = rowsOf(model);
        });
    }
    QStringList rows;
    int resets = 0;
};

} // namespace

// The screen as a logger drives it all day: the transcript held while the logger types or picks,
// and the picker, read by row rather than as copies of the day's lines, show and do what the
// copies did.
class ScreenDayTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<DayRig> rig()
    {
        auto made = std::make_unique<DayRig>(m_standin->baseUrl(), m_cookie);
        return made->stream ? std::move(made) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    // While the composer holds the transcript, lines arrive (some earlier than the newest), change
    // and leave: the pane and its rows show what a copy taken at the hold shows. Closing the
    // composer announces just the changes, which turn those rows into the live lines.
    void aHoldShowsACopyAndReplaysIt_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 8; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void aHoldShowsACopyAndReplaysIt()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const std::unique_ptr<DayRig> r = rig();
        QVERIFY(r);
        qint64 next = 0;
        for (; next < 30; ++next)
            r->put(next, double(next) * 2);
        TranscriptListModel rows(r->screen->transcriptPane());
        Mirror mirror(rows);

        r->screen->selectLine(QStringLiteral("line-12"));
        QVERIFY(r->screen->transcriptPane().state().held);
        const QStringList copy = r->visibleNow();
        for (int step = 0; step < 40; ++step) {
            r->change(random, next);
            QCOMPARE(r->shownByPane(), copy);
            QCOMPARE(rowsOf(rows), copy);
            QCOMPARE(mirror.rows, copy);
        }
        QCOMPARE(r->screen->transcriptPane().state().waiting,
                 std::max<qsizetype>(0, r->screen->visibleSegments().size() - copy.size()));

        r->screen->cancelComposer();
        QVERIFY(!r->screen->transcriptPane().state().held);
        QCOMPARE(mirror.resets, 0);
        QCOMPARE(mirror.rows, r->visibleNow());
        QCOMPARE(rowsOf(rows), r->visibleNow());
    }

    // The picker offers the last 40 rows of the held transcript and saves the ticked lines in
    // their order, a ticked line older than those 40 too, as the copies of the whole pool did.
    void thePickerReadsItsRowsByIndex_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<quint32>("seed");
        QTest::newRow("fewer than 40") << 12 << 1u;
        QTest::newRow("exactly 40") << 40 << 2u;
        QTest::newRow("a long day") << 300 << 3u;
        QTest::newRow("another long day") << 150 << 4u;
    }
    void thePickerReadsItsRowsByIndex()
    {
        QFETCH(int, lines);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const std::unique_ptr<DayRig> r = rig();
        QVERIFY(r);
        qint64 next = 0;
        for (; next < lines; ++next)
            r->put(next, double(next) * 2, QStringLiteral("line %1 said").arg(next));
        const auto lastForty = [](const QList<DisplaySegment>& pool) {
            return pool.mid(std::max<qsizetype>(0, pool.size() - LoggingScreenModel::kPickerLines));
        };
        QVERIFY(r->screen->linePicker().lines == lastForty(r->screen->visibleSegments()));

        const LogButton button{QStringLiteral("moment"), QStringLiteral("Moment"), true, 10};
        const QUuid id = r->screen->tapEntry(button, r->clock.now(), r->clock.now(), QStringLiteral("grabbed"));
        r->screen->openPicker(id);
        QList<DisplaySegment> pool;
        for (const DisplaySegment& line : r->screen->visibleSegments())
            pool.append(line);
        // Ticks anywhere in the pool, the oldest line among them.
        r->screen->setPicked(pool.constFirst().id, true);
        for (int i = 0; i < 5; ++i)
            r->screen->setPicked(pool.at(random.bounded(pool.size())).id, true);
        for (int step = 0; step < 30; ++step)
            r->change(random, next);
        QVERIFY(r->screen->linePicker().lines == lastForty(pool));

        QStringList ticked;
        QStringList texts;
        for (const DisplaySegment& line : std::as_const(pool))
            if (r->screen->pickIDs().contains(line.id)) {
                ticked.append(line.id);
                texts.append(line.text);
            }
        r->screen->applyPickedLines();
        const LogEntry& entry = r->screen->log().entries().at(*r->screen->log().entryRowOf(id));
        QCOMPARE(entry.lineIDs, std::optional(ticked));
        QCOMPARE(entry.highlight, texts.join(u' '));
        QVERIFY(!r->screen->pickingFor());
    }
};

PINDLE_TEST(ScreenDayTest)
#include "ScreenDayTest.moc"
