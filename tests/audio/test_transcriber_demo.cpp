#include "common/TestMain.h"

#include "audio/DemoShoot.h"
#include "test_transcriber_support.h"

#include <QFile>
#include <QJsonDocument>

#include <cmath>
#include <limits>

using namespace transcriber_test;

namespace {

// The line ids lines 1...played give when the channels in `muted` are off throughout (line 1,
// played at the start, always counts).
QSet<QString> expectedIds(qint64 played, const QSet<int>& muted)
{
    QSet<QString> out;
    for (qint64 line = 1; line <= played; ++line) {
        const DemoShoot::ScriptRow& row = DemoShoot::rowFor(line - 1);
        if (line == 1 || !muted.contains(row.channel)) {
            out.insert(QStringLiteral("%1-D%2").arg(row.channel).arg(line));
        }
    }
    return out;
}

// The line number of a demo id ("2-D14" is 14).
qint64 lineNumber(const QString& id)
{
    return id.section(QStringLiteral("-D"), 1).toLongLong();
}

const QString kMultiUid = QStringLiteral("uid-octo");

} // namespace

class TranscriberDemoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Any count, typed or given, lands on a usable mixer of 6 to 32 channels.
    void channelCount_data()
    {
        QTest::addColumn<std::optional<double>>("requested");
        QTest::addColumn<int>("expected");
        const auto row = [](const char* name, std::optional<double> requested, int expected) {
            QTest::newRow(name) << requested << expected;
        };
        row("none", std::nullopt, 6);
        row("3 rises to 6", 3, 6);
        row("zero", 0, 6);
        row("negative", -5, 6);
        row("int min", std::numeric_limits<int>::min(), 6);
        row("12", 12, 12);
        row("32", 32, 32);
        row("40 falls to 32", 40, 32);
        row("int max", std::numeric_limits<int>::max(), 32);
        row("fraction", 7.5, 6);
        row("nan", std::nan(""), 6);
        row("infinity", std::numeric_limits<double>::infinity(), 6);
        row("huge", 1e300, 32);
        row("huge negative", -1e300, 6);
    }
    void channelCount()
    {
        QFETCH(std::optional<double>, requested);
        QFETCH(int, expected);
        QCOMPARE(DemoShoot::channelCount(requested), expected);
        // Whole numbers in range also go through the engine's own start.
        if (requested && (*requested != std::trunc(*requested) || std::abs(*requested) > 1e10)) {
            return;
        }
        Rig rig;
        DesktopTranscriber& engine = rig.make();
        engine.startDemo(requested ? std::optional<int>(int(*requested)) : std::nullopt);
        QCOMPARE(engine.channels().size(), expected);
        QCOMPARE(engine.levels().size(), expected);
        for (qsizetype i = 0; i < engine.channels().size(); ++i) {
            QCOMPARE(engine.channels().at(i).index, int(i));
            QCOMPARE(engine.channels().at(i).name, DemoShoot::channelName(int(i)));
        }
    }

    void pretendMixerAndFirstLine()
    {
        Rig rig;
        rig.setDevices({device(kMultiUid, QStringLiteral("Octo"), 8, true)});
        DesktopTranscriber& engine = rig.make();
        engine.startDemo();

        QVERIFY(engine.isDemo());
        QVERIFY(engine.running());
        QCOMPARE(engine.status(), QStringLiteral("Listening…"));
        QCOMPARE(engine.notice(), std::optional<QString>(DemoShoot::kNotice));
        QStringList names;
        for (const ChannelConfig& config : engine.channels()) {
            names.append(config.name);
            QVERIFY(config.on);
            QVERIFY(config.agent);
            QCOMPARE(config.hidden, config.index == 2);
            QCOMPARE(config.fader, config.index == 3 ? 0.6 : ChannelConfig::kUnityFader);
        }
        QCOMPARE(names.join(u','), QStringLiteral("Presenter,Guest,Kitchen,Boom,Ch 5,Ch 6"));
        // Nothing is captured or transcribed.
        QCOMPARE(rig.capturesOpened, 0);
        QVERIFY(rig.streams.isEmpty());
        QVERIFY(engine.openStreamChannels().isEmpty());

        // The first line plays at once, at t = 0: it gets the shortest span.
        QCOMPARE(engine.segments().size(), 1);
        const DisplaySegment& first = engine.segments().constFirst();
        QCOMPARE(first.id, QStringLiteral("0-D1"));
        QVERIFY(std::abs(first.startSecs + 0.1) < 1e-9);
        QVERIFY(std::abs(first.endSecs) < 1e-9);
        QCOMPARE(first.words.size(), 12);
        QCOMPARE(first.words.constFirst().text(), QStringLiteral("So"));
        QVERIFY(std::abs(first.words.at(1).start - (first.startSecs + 0.32)) < 1e-9);
        QVERIFY(std::abs(first.words.at(1).end - (first.startSecs + 0.62)) < 1e-9);
        QCOMPARE(engine.latestLine(), first.text);
        QCOMPARE(engine.fullTranscript(), QStringLiteral("Presenter: ") + first.text);
        QCOMPARE(engine.currentTranscriptTime(), std::optional<double>(first.endSecs));
        // Only streams' words count for the recent text, and the demo has none.
        QVERIFY(engine.recentText(60.0).isEmpty());
        // A scan of the pretend mixer starts with the demo.
        QVERIFY(engine.scanning());

        // Running: a second start changes nothing.
        engine.startDemo(20);
        QCOMPARE(engine.channels().size(), 6);
        QCOMPARE(engine.demoLinesPlayed(), 1);
    }

    void pretendScanMutesTimecodeAndSilent()
    {
        Rig rig;
        rig.env.demoLineIntervalMs = 60'000;
        DesktopTranscriber& engine = rig.make();
        QList<int> focus;
        connect(&engine, &DesktopTranscriber::scanFocusChanged, &engine, [&] {
            if (engine.scanFocus()) {
                focus.append(*engine.scanFocus());
            }
        });
        engine.startDemo();
        // A step per channel, then the settling.
        rig.clock.advance(6 * 900ms + 399ms);
        QVERIFY(engine.scanning());
        rig.clock.advance(1ms);
        QVERIFY(!engine.scanning());

        QCOMPARE(focus, (QList<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(engine.scanProgress(), 1.0);
        QCOMPARE(engine.scanFocus(), std::nullopt);
        QCOMPARE(engine.scanResults().size(), 6);
        QCOMPARE(engine.scanResults().value(4), ScanKind::timecode());
        for (const ChannelConfig& config : engine.channels()) {
            QCOMPARE(config.on, config.index != 4 && config.index != 5);
        }
        QCOMPARE(engine.notice(), std::optional<QString>(QStringLiteral(
                                      "Scanned 6 channels: 3 with speech. Muted Ch 5 (timecode), Ch 6 (silent). "
                                      "Unmute any it got wrong.")));
        // The mutes left the demo transcript in place.
        QCOMPARE(ids(engine.segments()), QStringList{QStringLiteral("0-D1")});
        QVERIFY(rig.streams.isEmpty());
    }

    void endToEnd()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.make();
        engine.setKeywords({QStringLiteral("boat"), QStringLiteral("Mark")});
        QHash<QString, int> hits;
        QStringList hitKeywords;
        engine.setOnKeyword([&](int channel, const QString& keyword, const DisplaySegment& line) {
            QCOMPARE(channel, line.channel);
            ++hits[line.id];
            hitKeywords.append(keyword);
        });
        engine.startDemo();
        rig.clock.advance(33 * 3200ms);
        QCOMPARE(engine.demoLinesPlayed(), 34);
        QVERIFY(!engine.scanning());
        engine.stop();
        QVERIFY(!engine.running());
        QCOMPARE(engine.status(), QStringLiteral("Off"));
        const qint64 played = engine.demoLinesPlayed();
        const QList<DisplaySegment> lines = engine.segments();

        // Every played line is there (the scan mutes only channels the script never uses),
        // with its script row's channel, speaker, text and watch-only flag.
        const QStringList shown = ids(lines);
        QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()), expectedIds(played, {}));
        QCOMPARE(lines.size(), played);
        for (const DisplaySegment& line : lines) {
            const DemoShoot::ScriptRow& row = DemoShoot::rowFor(lineNumber(line.id) - 1);
            QCOMPARE(line.channel, row.channel);
            QCOMPARE(line.text, row.text);
            QCOMPARE(line.speaker, std::optional<QString>(DemoShoot::channelName(row.channel)));
            QCOMPARE(line.onDevice, row.channel == 2);
            QVERIFY(line.timecode.isEmpty());
            const double span = line.endSecs - line.startSecs;
            const double words = double(line.words.size());
            QVERIFY(std::abs(span - std::min(words * 0.32, std::max(0.1, line.endSecs - 0.1))) < 1e-6);
        }
        // In moment order; later lines end later.
        for (qsizetype i = 1; i < lines.size(); ++i) {
            // Lines that start together (to the clock's precision) are ordered by channel.
            QVERIFY(lines.at(i - 1).startSecs <= lines.at(i).startSecs + 1e-6);
        }
        QList<DisplaySegment> byLine = lines;
        std::sort(byLine.begin(), byLine.end(),
                  [](const auto& a, const auto& b) { return lineNumber(a.id) < lineNumber(b.id); });
        for (qsizetype i = 1; i < byLine.size(); ++i) {
            QVERIFY(byLine.at(i - 1).endSecs < byLine.at(i).endSecs);
        }
        QCOMPARE(engine.currentTranscriptTime(), std::optional<double>(byLine.constLast().endSecs));
        QCOMPARE(engine.latestLine(), byLine.constLast().text);

        // One hit per line that says a keyword, never two (row 7 says "boat" twice).
        int saying = 0;
        for (const DisplaySegment& line : lines) {
            const bool says = line.text.contains(QStringLiteral("boat")) || line.text.contains(QStringLiteral("Mark"));
            saying += says ? 1 : 0;
            QCOMPARE(hits.value(line.id), says ? 1 : 0);
        }
        QVERIFY(saying >= 8);
        const auto marks = std::count_if(lines.cbegin(), lines.cend(), [](const DisplaySegment& line) {
            return line.text.contains(QStringLiteral("Mark"));
        });
        QCOMPARE(qsizetype(hitKeywords.count(QStringLiteral("Mark"))), qsizetype(marks));

        // Scan verdicts came in; the transcript stays after the stop, and nothing plays on.
        QCOMPARE(engine.scanResults().size(), 6);
        QVERIFY(!engine.channels().at(4).on);
        rig.clock.advance(10s);
        QCOMPARE(engine.demoLinesPlayed(), played);
        QCOMPARE(engine.segments(), lines);
        for (const float level : engine.levels()) {
            QCOMPARE(level, 0.0f);
        }
    }

    void mutedGuestIsSkipped()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.make();
        engine.startDemo();
        engine.setOn(1, false);
        rig.clock.advance(19 * 3200ms);
        engine.stop();
        const qint64 played = engine.demoLinesPlayed();
        const QStringList shown = ids(engine.segments());
        QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()), expectedIds(played, {1}));
        // Six of the sixteen rows are the guest's.
        QCOMPARE(played, 20);
        QVERIFY(shown.size() <= played - 6);
        for (const DisplaySegment& line : engine.segments()) {
            QVERIFY(line.channel != 1);
        }
    }

    void storedSettingsUntouched_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("stored settings") << true;
        QTest::newRow("fresh device") << false;
    }
    void storedSettingsUntouched()
    {
        QFETCH(bool, stored);
        Rig rig;
        rig.setDevices({device(kMultiUid, QStringLiteral("Octo"), 8, true)});
        const QString key = DesktopTranscriber::channelsKey(kMultiUid);
        if (stored) {
            QList<ChannelConfig> real = ChannelConfig::makeConfigs({}, 8, nullptr);
            real[0].name = QStringLiteral("Lav A");
            real[3].fader = 0.25;
            real[5].on = false;
            rig.defaults->set(key, ChannelConfig::encodeList(real));
            QVERIFY(rig.defaults->flush());
        }
        const QString file = rig.dir.filePath(QStringLiteral("defaults.json"));
        const auto bytes = [&file] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        const QJsonValue valueBefore = rig.defaults->value(key);

        DesktopTranscriber& engine = rig.make();
        QCOMPARE(engine.channels().size(), 8);
        engine.startDemo();
        const auto edit = [&engine] {
            engine.setOn(0, false);
            engine.setFader(1, 0.3);
            engine.setHidden(2, false);
            engine.setAgent(3, false);
            engine.renameChannel(1, QStringLiteral("Skipper"));
            engine.renameChannel(2, QString());
        };
        edit();
        // Mixer changes keep the demo transcript and open no stream.
        QCOMPARE(ids(engine.segments()), QStringList{QStringLiteral("0-D1")});
        QCOMPARE(engine.channels().at(1).name, QStringLiteral("Skipper"));
        QVERIFY(rig.streams.isEmpty());
        rig.clock.advance(15s);
        QVERIFY(!engine.scanning());
        QVERIFY(engine.demoLinesPlayed() >= 5);
        engine.stop();
        edit();
        engine.start(); // plays the demo again
        QVERIFY(engine.isDemo());
        QCOMPARE(rig.capturesOpened, 0);
        rig.clock.advance(10s);
        QVERIFY(!engine.scanning());
        engine.stop();
        engine.scanChannels();
        rig.clock.advance(10s);
        QVERIFY(!engine.scanning());

        QVERIFY(rig.defaults->flush());
        QCOMPARE(bytes(), before);
        QCOMPARE(rig.defaults->value(key), valueBefore);
        Defaults reread(file);
        QCOMPARE(reread.value(key), valueBefore);
        QCOMPARE(rig.capturesOpened, 0);
    }

    void startStopStartAgain()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.make();
        engine.setKeywords({QStringLiteral("boat")});
        int hits = 0;
        engine.setOnKeyword([&hits](int, const QString&, const DisplaySegment&) { ++hits; });
        engine.startDemo(8);
        rig.clock.advance(5 * 3200ms);
        QCOMPARE(engine.demoLinesPlayed(), 6);
        QVERIFY(!engine.scanning());
        engine.stop();
        QVERIFY(!engine.alertedLines().isEmpty());
        const int firstHits = hits;
        QVERIFY(firstHits >= 2);

        engine.startDemo(7);
        QCOMPARE(engine.channels().size(), 7);
        // Every channel is on again: the new demo has a new mixer and a new scan.
        for (const ChannelConfig& config : engine.channels()) {
            QVERIFY(config.on);
        }
        QCOMPARE(ids(engine.segments()), QStringList{QStringLiteral("0-D1")});
        QCOMPARE(engine.demoLinesPlayed(), 1);
        // The first line says "boat" again and hits again: alerts were cleared.
        QCOMPARE(engine.alertedLines(), QSet<QString>{QStringLiteral("0-D1")});
        QCOMPARE(hits, firstHits + 1);
        QVERIFY(engine.scanning());
        rig.clock.advance(7 * 900ms + 400ms);
        QVERIFY(!engine.scanning());
        // The buzzing and the dead channel are muted, and past them every third one.
        for (const ChannelConfig& config : engine.channels()) {
            QCOMPARE(config.on, config.index < 4 || config.index == 7);
        }
        engine.stop();
    }

    void demoCallsOffAnIdleScan()
    {
        Rig rig;
        rig.setDevices({device(kMultiUid, QStringLiteral("Octo"), 8, true)});
        rig.captureChannels = 8;
        DesktopTranscriber& engine = rig.make();
        engine.scanChannels();
        QVERIFY(engine.scanning());
        QCOMPARE(rig.capturesOpened, 1);
        engine.startDemo();
        rig.clock.advance(6 * 900ms + 400ms);
        QVERIFY(!engine.scanning());
        const QMap<int, ScanKind> results = engine.scanResults();
        QCOMPARE(results.size(), 6);
        QCOMPARE(results.value(5), ScanKind::silent());
        // The real scan's steps still fall due; they must judge nothing.
        rig.clock.advance(10s);
        QCOMPARE(engine.scanResults(), results);
        QCOMPARE(rig.capturesOpened, 1);
    }

    void levels_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("fader");
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<int>("speaking");
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        const double unity = ChannelConfig::kUnityFader;
        QTest::newRow("speaker") << 0 << unity << true << false << 0 << 0.50f << 0.78f;
        QTest::newRow("listener") << 1 << unity << true << false << 0 << 0.06f << 0.34f;
        QTest::newRow("boom pulled down")
            << 3 << 0.6 << true << false << 3 << float(0.50 * 0.6 / unity) << float(0.78 * 0.6 / unity);
        QTest::newRow("off") << 1 << unity << false << false << 1 << 0.0f << 0.0f;
        QTest::newRow("off while scanning") << 1 << unity << false << true << 1 << 0.50f << 0.78f;
        QTest::newRow("timecode buzz") << 4 << 0.1 << true << false << 4 << 0.77f << 0.79f;
        QTest::newRow("dead channel") << 5 << unity << true << true << 5 << 0.0f << 0.0f;
        QTest::newRow("fader all the way up") << 0 << 1.0 << true << false << 0 << 0.57f << 0.90f;
    }
    void levels()
    {
        QFETCH(int, index);
        QFETCH(double, fader);
        QFETCH(bool, on);
        QFETCH(bool, scanning);
        QFETCH(int, speaking);
        QFETCH(float, low);
        QFETCH(float, high);
        ChannelConfig config;
        config.index = index;
        config.fader = fader;
        config.on = on;
        // Hostile draws stay inside the same range.
        for (const double r : {0.0, 0.25, 0.5, 0.999999, -3.0, 7.0, std::nan("")}) {
            const float level = DemoShoot::level(config, speaking, scanning, r);
            QVERIFY2(level >= low - 1e-4f && level <= high + 1e-4f, qPrintable(QString::number(level)));
            QVERIFY(level >= 0.0f && level <= 1.0f);
        }
    }

    void metersMoveWhilePlaying()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.make();
        int changes = 0;
        connect(&engine, &DesktopTranscriber::levelsChanged, &engine, [&changes] { ++changes; });
        engine.startDemo(10);
        rig.clock.advance(400ms);
        QVERIFY(changes >= 5);
        QCOMPARE(engine.levels().size(), 10);
        QCOMPARE(engine.levels().at(5), 0.0f);
        QVERIFY(engine.levels().at(4) > 0.75f);
        engine.stop();
        const int stopped = changes;
        rig.clock.advance(1s);
        QCOMPARE(changes, stopped);
    }
};

PINDLE_TEST(TranscriberDemoTest)
#include "test_transcriber_demo.moc"
