#include "ScreenRig.h"
#include "WrittenLines.h"
#include "common/SmallFileSystem.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "export/ExportTesting.h"

#include "export/AleWriter.h"
#include "export/EdlWriter.h"
#include "export/LocatorsWriter.h"
#include "export/MarkersXmlWriter.h"
#include "export/ScriptSyncWriter.h"
#include "model/LogButtonKind.h"
#include "platform/DateFormat.h"
#include "screens/LogExporter.h"
#include "screens/SavePanel.h"

#include <QDir>
#include <QFile>

using Action = LogExporter::Action;

namespace {

// Answers every question with the suggested name in `folder`, or cancels while `folder` is
// empty; at once, or on the next turn with `later`.
struct ScriptedPanel : SavePanel {
    struct Question {
        QString name;
        bool pdfOnly = false;
    };
    void ask(const QString& suggestedName, bool pdfOnly, Answer answer) override
    {
        asked.append({suggestedName, pdfOnly});
        const std::optional<QString> path =
            folder.isEmpty() ? std::nullopt : std::optional(folder + u'/' + suggestedName);
        if (later)
            QTimer::singleShot(0, [answer, path] { answer(path); });
        else
            answer(path);
    }
    QList<Question> asked;
    QString folder;
    bool later = false;
};

LogEntry entry(const char* kind, double seconds, const char* timecode, const char* summary)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.type = QString::fromLatin1(kind);
    e.time = Date::fromSecondsSince1970(1'700'000'000 + seconds);
    e.timecode = QString::fromLatin1(timecode);
    e.summary = QString::fromLatin1(summary);
    return e;
}

QList<LoggableMarker> markersOf(const QList<LogEntry>& entries)
{
    QList<LoggableMarker> list;
    for (const LogEntry& e : entries)
        list.append(e.asMarker());
    return list;
}

// A screen on written transcript lines, with its exporter on a scripted panel.
struct ExportRig : screen_test::RigParts {
    ExportRig(const QUrl& base, const QString& cookie) : RigParts(base, cookie, 100)
    {
        LoggingScreenEnvironment env = environment(false);
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            stream = std::make_shared<screen_test::WrittenLines>(request.channel);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        exporter = std::make_unique<LogExporter>(*screen);
        panel.folder = out.path();
        exporter->setSavePanel(&panel);
    }
    ~ExportRig()
    {
        exporter.reset();
        screen.reset();
    }

    // Four kept entries out of time order (two of one time), an open range, an alert not kept.
    void fillLog()
    {
        LogEntry great = entry("great", 30, "01:00:10;02", "Great answer about the boats");
        great.timecodeOut = QStringLiteral("01:00:12;00");
        great.highlight = QStringLiteral("We never knew if the boats would come back");
        great.note = QStringLiteral("use for the trailer");
        great.tags = {QStringLiteral("harbour")};
        great.speaker = QStringLiteral("Marta");
        LogEntry open = entry("broll", 40, "01:00:20;00", "OPEN RANGE");
        open.open = true;
        LogEntry alert = entry("earmark", 5, "01:00:02;00", "UNKEPT ALERT");
        alert.suggested = true;
        for (const LogEntry& e : {great, entry("note", 10, "01:00:05;00", "Check focus"), open, alert,
                                  entry("own_mark", 10, "01:00:05;00", "Kind of its own"),
                                  entry("funny", 20, "01:00:08;00", "Laughs at the net")})
            screen->log().appendEntry(e);
        screen->buttons().rename(QStringLiteral("great"), QStringLiteral("Hero"));
    }
    void put(const QString& id, const QString& text, const std::optional<QString>& speaker)
    {
        DisplaySegment line;
        line.id = id;
        line.text = text;
        line.startSecs = 1;
        line.endSecs = 2;
        line.speaker = speaker;
        line.firstSeen = clock.now();
        stream->put(line);
    }
    [[nodiscard]] QByteArray read(const QString& name) const
    {
        QFile file(out.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    [[nodiscard]] std::optional<QString> notice() { return screen->transcriber().notice(); }

    QTemporaryDir out;
    ScriptedPanel panel;
    std::shared_ptr<screen_test::WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<LogExporter> exporter;
};

const CameraTimecode::Format kDropFrame{30, true, true};

QString logTitle(const ExportRig& rig)
{
    return QStringLiteral("Log ") + formatDate(rig.screen->log().createdAt(), DateStyle::Abbreviated);
}

// What each file should hold, from the writers called directly with the 29.97 DF clock's
// figures written out: 30 for the locators and XML, "29.97" for the ALE, drop frame for the EDL
// from 107,892 frames (01:00:00;00).
QByteArray expectedFile(const QString& name, const QList<LoggableMarker>& markers,
                        const QList<LogSheetExport::Row>& rows, const std::optional<QString>& tape,
                        const QString& edlTitle, Date xmlNow)
{
    const auto toFrames = [](const QString& text) { return LogExport::eventTimecodeFrames(kDropFrame, text); };
    const auto toText = [](qint64 frames) { return LogExport::eventTimecodeText(kDropFrame, frames); };
    if (name == u"pindle-log-locators.txt")
        return LogExport::avidLocators(markers, 30, false).toUtf8();
    if (name == u"pindle-log-locators-16.txt")
        return LogExport::avidLocators(markers, 30, true).toUtf8();
    if (name == u"pindle-log-markers.xml")
        return LogExport::avidMarkersXML(markers, 30, QStringLiteral("Pindle"), xmlNow);
    if (name == u"pindle-log.ale")
        return LogExport::ale(markers, QStringLiteral("29.97"), QStringLiteral("1080"), tape, toFrames, toText)
            .toUtf8();
    if (name == u"pindle-selects-script.txt")
        return LogExport::scriptSyncSelects(markers, QStringLiteral("Pindle Selects")).toUtf8();
    if (name == u"pindle-selects.edl")
        return LogExport::edl(markers, edlTitle, tape.value_or(QStringLiteral("AX")), true, 0, 107892, toFrames, toText)
            .toUtf8();
    if (name == u"pindle-log.csv")
        return LogSheetExport::csv(rows).toUtf8();
    return {};
}

// Markers without a creation time are dated when the XML is drawn: either side of a second's turn.
bool sameFile(const QByteArray& written, const std::function<QByteArray(Date)>& expected, Date before)
{
    return written == expected(before) || written == expected(Date::now());
}

// The XML through xmllint, the CSV through Python's strict reader (a header and the kept rows).
void checkWithReader(const QString& name, const QByteArray& bytes, qsizetype keptRows)
{
    if (name.endsWith(u".xml"))
        QVERIFY(readers::run(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("-")}, bytes));
    if (name.endsWith(u".csv")) {
        const auto count =
            readers::run(QStringLiteral("python3"),
                         {QStringLiteral("-c"), QStringLiteral("import csv, io, sys\n"
                                                               "text = sys.stdin.buffer.read().decode()\n"
                                                               "print(len(list(csv.reader(io.StringIO("
                                                               "text, newline=''), strict=True))))")},
                         bytes);
        QCOMPARE(count, std::optional(QByteArray::number(keptRows + 1) + '\n'));
    }
}

} // namespace

class LogExporterTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<ExportRig> rig()
    {
        auto r = std::make_unique<ExportRig>(m_standin->baseUrl(), m_cookie);
        r->camera.setFormat(kDropFrame);
        return r;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
    }

    void menuOnANewLog()
    {
        auto r = rig();
        const QList<LogExporter::MenuItem> expected{
            {QStringLiteral("Export selects\u2026"), Action::ShowExportSheet, true},
            {QString(), std::nullopt, true},
            {QStringLiteral("Avid locators (.txt)"), Action::AvidLocators, true},
            {QStringLiteral("Avid locators 16-colour, MC 2024.6+ (.txt)"), Action::AvidLocators16, true},
            {QStringLiteral("Avid markers (.xml)"), Action::AvidMarkersXml, true},
            {QStringLiteral("Avid Log Exchange (.ale)"), Action::Ale, true},
            {QStringLiteral("ScriptSync selects (.txt)"), Action::ScriptSyncSelects, true},
            {QStringLiteral("Clean transcript for ScriptSync (.txt)"), Action::CleanTranscript, false},
            {QStringLiteral("Spreadsheet (.csv)"), Action::Csv, true},
            {QStringLiteral("Log sheet (.pdf)"), Action::Pdf, true},
        };
        QCOMPARE(r->exporter->menuItems(), expected);
        r->exporter->trigger(Action::CleanTranscript);
        QVERIFY(r->panel.asked.isEmpty());
        r->exporter->trigger(Action::ShowExportSheet);
        QVERIFY(r->screen->showExport() && r->panel.asked.isEmpty());
    }

    // Every menu item over every entry of the log, open ranges and unkept alerts included, but the
    // spreadsheet keeps only kept entries; written whole and read back. An empty log still gives
    // every file.
    void menuFiles_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("filled");
        const std::pair<Action, const char*> files[] = {
            {Action::AvidLocators, "pindle-log-locators.txt"},
            {Action::AvidLocators16, "pindle-log-locators-16.txt"},
            {Action::AvidMarkersXml, "pindle-log-markers.xml"},
            {Action::Ale, "pindle-log.ale"},
            {Action::ScriptSyncSelects, "pindle-selects-script.txt"},
            {Action::Csv, "pindle-log.csv"},
        };
        for (bool filled : {true, false})
            for (const auto& [action, name] : files)
                QTest::addRow("%s%s", name, filled ? "" : ", empty log") << int(action) << name << filled;
    }
    void menuFiles()
    {
        QFETCH(int, action);
        QFETCH(QString, name);
        QFETCH(bool, filled);
        auto r = rig();
        if (filled)
            r->fillLog();
        const QList<LogEntry> entries = r->screen->log().entries().toList();
        const QList<LogSheetExport::Row> rows = LogExporter::sheetRows(entries, r->screen->buttons());
        QSignalSpy saved(r->exporter.get(), &LogExporter::saved);
        const Date before = Date::now();
        r->exporter->trigger(Action(action));
        QCOMPARE(r->panel.asked.size(), 1);
        QCOMPARE(r->panel.asked[0].name, name);
        QVERIFY(!r->panel.asked[0].pdfOnly);
        QCOMPARE(saved.size(), 1);
        const QByteArray written = r->read(name);
        QVERIFY(sameFile(
            written,
            [&](Date now) { return expectedFile(name, markersOf(entries), rows, std::nullopt, QString(), now); },
            before));
        const bool csv = name.endsWith(u".csv");
        if (filled) {
            QCOMPARE(written.contains("OPEN RANGE"), !csv);
            QCOMPARE(written.contains("UNKEPT ALERT"), !csv);
        }
        if (name.endsWith(u".ale"))
            QVERIFY(!written.contains("\tTape\t"));
        checkWithReader(name, written, rows.size());
        QCOMPARE(r->screen->log().entries(), entries);
        QVERIFY(!r->notice());
    }

    // The sheet's choice, one turn later, with the sheet's entries as they are for the marker
    // files and only the kept ones for the sheets; the tape goes into the ALE and the EDL.
    void sheetFiles_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("tape");
        const std::pair<ExportFormat, const char*> files[] = {
            {ExportFormat::Ale, "pindle-log.ale"},
            {ExportFormat::Edl, "pindle-selects.edl"},
            {ExportFormat::AvidLocators, "pindle-log-locators.txt"},
            {ExportFormat::AvidXml, "pindle-log-markers.xml"},
            {ExportFormat::ScriptSync, "pindle-selects-script.txt"},
            {ExportFormat::Csv, "pindle-log.csv"},
        };
        for (const auto& [format, name] : files)
            QTest::addRow("%s", name) << int(format) << name << QString();
        QTest::newRow("ALE on tape A001") << int(ExportFormat::Ale) << "pindle-log.ale"
                                          << "A001";
        QTest::newRow("EDL on reel A001") << int(ExportFormat::Edl) << "pindle-selects.edl"
                                          << "A001";
    }
    void sheetFiles()
    {
        QFETCH(int, format);
        QFETCH(QString, name);
        QFETCH(QString, tape);
        auto r = rig();
        r->fillLog();
        // The sheet's filter let through the hero, the open range and the alert.
        const LogEntries& all = r->screen->log().entries();
        const ExportChoice choice{
            ExportFormat(format), {all[0], all[2], all[3]}, tape.isEmpty() ? std::nullopt : std::optional(tape)};
        const QList<LogSheetExport::Row> rows = LogExporter::sheetRows(choice.entries, r->screen->buttons());
        QSignalSpy saved(r->exporter.get(), &LogExporter::saved);
        const Date before = Date::now();
        r->exporter->exportChoice(choice);
        QVERIFY(r->panel.asked.isEmpty());
        QVERIFY(saved.wait(screen_test::kWaitMs));
        QCOMPARE(r->panel.asked.size(), 1);
        QCOMPARE(r->panel.asked[0].name, name);
        const QString edlTitle =
            QStringLiteral("Pindle selects ") + formatDate(r->screen->log().createdAt(), DateStyle::Abbreviated);
        const QByteArray written = r->read(name);
        QVERIFY(sameFile(
            written,
            [&](Date now) { return expectedFile(name, markersOf(choice.entries), rows, choice.tape, edlTitle, now); },
            before));
        QCOMPARE(written.contains("OPEN RANGE"), !name.endsWith(u".csv"));
        QVERIFY(!written.contains("Check focus"));
        if (name.endsWith(u".ale"))
            QCOMPARE(written.contains("\tTape\t"), !tape.isEmpty());
        if (name.endsWith(u".edl"))
            QVERIFY(written.contains("FCM: DROP FRAME") && written.contains(tape.isEmpty() ? "AX " : "A001 "));
        checkWithReader(name, written, rows.size());
    }

    // The ALE's FPS field is the clock's rate without " fps" and " DF".
    void aleRate_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("fps");
        for (const CameraTimecode::Format& format : CameraTimecode::menuFormats()) {
            QString rate = format.label();
            rate.chop(4);
            QTest::addRow("%s", qPrintable(format.label()))
                << format.storageString() << rate.remove(QStringLiteral(" DF"));
        }
    }
    void aleRate()
    {
        QFETCH(QString, storage);
        QFETCH(QString, fps);
        auto r = rig();
        r->camera.setFormat(*CameraTimecode::Format::fromStorage(storage));
        r->exporter->trigger(Action::Ale);
        QVERIFY(r->read(QStringLiteral("pindle-log.ale")).contains("\nFPS\t" + fps.toUtf8() + "\n"));
    }

    // Kept entries only, by time with ties in log order; named by their (renamed) button, else
    // the capitalised kind; note in its printed grey, unknown kinds in earmark coral.
    void sheetRows()
    {
        auto r = rig();
        r->fillLog();
        const QList<LogSheetExport::Row> rows =
            LogExporter::sheetRows(r->screen->log().entries().toList(), r->screen->buttons());
        const auto tableHex = [](const char* kind) {
            return LogButtonKind::lookup(QString::fromLatin1(kind)).value().hex;
        };
        QStringList types;
        QList<quint32> colours;
        for (const LogSheetExport::Row& row : rows) {
            types.append(row.type);
            colours.append(row.colorHex);
        }
        QCOMPARE(types, QStringList({LogButtonKind::lookup(u"note").value().label, "Own_mark",
                                     LogButtonKind::lookup(u"funny").value().label, "Hero"}));
        const QList<quint32> expected{0x9A9388u, 0xFF5C4Du, tableHex("funny"), tableHex("great")};
        QCOMPARE(colours, expected);
        const LogSheetExport::Row& hero = rows.last();
        QCOMPARE(hero.out, QStringLiteral("01:00:12;00"));
        QCOMPARE(hero.who, QStringLiteral("Marta"));
        QCOMPARE(hero.said, QStringLiteral("We never knew if the boats would come back"));
        QCOMPARE(hero.note, QStringLiteral("use for the trailer"));
        QCOMPARE(hero.tags, QStringList{QStringLiteral("harbour")});
        QVERIFY(rows.first().out.isEmpty() && rows.first().who.isEmpty());
    }

    // A write that fails names the file and the reason, writes nothing anywhere, leaves a file
    // already there as it was, and changes nothing in the log.
    void failedWrites_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only folder") << "read-only"
                                          << "Read-only file system";
        QTest::newRow("full disk") << "full"
                                   << "No space left on device";
        QTest::newRow("missing folder") << "missing"
                                        << "No such file or directory";
    }
    void failedWrites()
    {
        QFETCH(QString, place);
        QFETCH(QString, reason);
        auto r = rig();
        r->fillLog();
        SmallFileSystem disk(64 * 1024);
        if (place != u"missing") {
            if (!disk.isMounted())
                QSKIP("mounting a small file system needs root");
            QFile old(disk.filePath(QStringLiteral("pindle-selects.edl")));
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            old.close();
            QVERIFY(place == u"full" ? disk.fill() : disk.setReadOnly(true));
            r->panel.folder = QFileInfo(disk.filePath(QStringLiteral("x"))).absolutePath();
        } else {
            r->panel.folder = r->out.filePath(QStringLiteral("gone"));
        }
        const QList<LogEntry> entries = r->screen->log().entries().toList();
        QSignalSpy saved(r->exporter.get(), &LogExporter::saved);
        QSignalSpy failed(r->exporter.get(), &LogExporter::failed);
        r->exporter->exportChoice({ExportFormat::Edl, entries, std::nullopt});
        QVERIFY(failed.wait(screen_test::kWaitMs));
        const QString expected =
            QStringLiteral("Couldn't save pindle-selects.edl: %1. Nothing was exported.").arg(reason);
        QCOMPARE(r->notice().value_or(QString()), expected);
        QCOMPARE(failed[0][0].toString(), expected);
        QVERIFY(saved.isEmpty());
        QCOMPARE(r->screen->log().entries(), entries);
        const QStringList left = QDir(r->panel.folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (place == u"missing") {
            QVERIFY(!QFileInfo::exists(r->panel.folder));
        } else {
            QCOMPARE(left, QStringList({QStringLiteral("filler"), QStringLiteral("pindle-selects.edl")})
                               .mid(place == u"full" ? 0 : 1));
            QFile old(disk.filePath(QStringLiteral("pindle-selects.edl")));
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("old"));
        }
    }

    // Cancel writes nothing and says nothing; without a panel nothing is written and the notice
    // says why; a PDF that cannot be drawn (no GUI application here) is not written either.
    void nothingWritten_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("notice");
        QTest::newRow("cancelled") << int(Action::Csv) << "cancel" << QString();
        QTest::newRow("no panel") << int(Action::Csv) << "none"
                                  << "Couldn't export pindle-log.csv: there's no save panel to ask where it goes.";
        QTest::newRow("PDF not drawn") << int(Action::Pdf) << "answer"
                                       << "Couldn't draw the log sheet, so pindle-log.pdf wasn't saved.";
    }
    void nothingWritten()
    {
        QFETCH(int, action);
        QFETCH(QString, panel);
        QFETCH(QString, notice);
        auto r = rig();
        r->fillLog();
        if (panel == u"cancel")
            r->panel.folder.clear();
        if (panel == u"none")
            r->exporter->setSavePanel(nullptr);
        QFile old(r->out.filePath(QStringLiteral("pindle-log.pdf")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QSignalSpy saved(r->exporter.get(), &LogExporter::saved);
        r->exporter->trigger(Action(action));
        QVERIFY(saved.isEmpty());
        QCOMPARE(r->panel.asked.size(), panel == u"none" ? 0 : 1);
        if (action == int(Action::Pdf))
            QVERIFY(r->panel.asked[0].pdfOnly);
        QCOMPARE(r->notice(), notice.isEmpty() ? std::nullopt : std::optional(notice));
        QCOMPARE(QDir(r->out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pindle-log.pdf"});
        QCOMPARE(r->read(QStringLiteral("pindle-log.pdf")), QByteArray("old"));
    }

    // The next export that goes through clears this exporter's own failure notice, not another's.
    void successClearsOwnNotice()
    {
        auto r = rig();
        r->panel.folder = r->out.filePath(QStringLiteral("gone"));
        r->exporter->trigger(Action::Csv);
        QVERIFY(r->notice());
        r->panel.folder = r->out.path();
        r->exporter->trigger(Action::Csv);
        QVERIFY(!r->notice());

        r->panel.folder = r->out.filePath(QStringLiteral("gone"));
        r->exporter->trigger(Action::Csv);
        r->screen->transcriber().setNotice(QStringLiteral("Microphone lost"));
        r->panel.folder = r->out.path();
        r->exporter->trigger(Action::Csv);
        QCOMPARE(r->notice(), std::optional(QStringLiteral("Microphone lost")));
    }

    // An answer that comes after the exporter, or a sheet's choice that comes after the screen,
    // has gone does nothing.
    void lateAnswers()
    {
        auto r = rig();
        r->panel.later = true;
        r->exporter->trigger(Action::Csv);
        r->exporter.reset();
        QTest::qWait(20);
        QVERIFY(QDir(r->out.path()).isEmpty());

        r->exporter = std::make_unique<LogExporter>(*r->screen);
        r->exporter->setSavePanel(&r->panel);
        r->exporter->exportChoice({ExportFormat::Csv, {}, std::nullopt});
        r->screen.reset();
        QTest::qWait(20);
        QVERIFY(r->panel.asked.size() == 1 && QDir(r->out.path()).isEmpty());
    }

    // The clean transcript is offered once lines exist; it folds the heard lines (a line changed
    // in place included) into the log first, under the speakers' given names.
    void cleanTranscript()
    {
        auto r = rig();
        QSignalSpy changed(r->exporter.get(), &LogExporter::menuItemsChanged);
        r->screen->transcriber().start();
        QTRY_VERIFY_WITH_TIMEOUT(r->stream, screen_test::kWaitMs);
        r->put(QStringLiteral("0-1"), QStringLiteral("um, so we went out before dawn"), QStringLiteral("Speaker 1"));
        r->put(QStringLiteral("0-2"), QStringLiteral("and the the water was still"), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(r->exporter->cleanTranscriptAvailable(), screen_test::kWaitMs);
        QCOMPARE(changed.size(), 1);
        QVERIFY(r->exporter->menuItems()[7].enabled);
        r->stream->change(QStringLiteral("0-2"), QStringLiteral("and the water was completely still"));
        QTRY_COMPARE_WITH_TIMEOUT(r->screen->transcriber().segments().constLast().text,
                                  QStringLiteral("and the water was completely still"), screen_test::kWaitMs);
        // The screen folds lines in as their number grows: the edit is not in the log yet.
        QCOMPARE(r->screen->log().transcript().constLast().text, QStringLiteral("and the the water was still"));
        r->screen->setRenamingSpeaker(QStringLiteral("Speaker 1"));
        r->screen->renameText = QStringLiteral("Marta");
        r->screen->saveSpeakerName();

        r->exporter->trigger(Action::CleanTranscript);
        QCOMPARE(r->panel.asked.size(), 1);
        const LogLines& lines = r->screen->log().transcript();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1].text, QStringLiteral("and the water was completely still"));
        const QList<LogExport::TranscriptTurn> turns{
            {QStringLiteral("Marta"), QStringLiteral("um, so we went out before dawn")},
            {std::nullopt, QStringLiteral("and the water was completely still")}};
        const QString expected = LogExport::cleanTranscript(turns, logTitle(*r), r->screen->log().createdAt());
        QCOMPARE(r->read(QStringLiteral("pindle-transcript-scriptsync.txt")), expected.toUtf8());
    }
};

PINDLE_TEST(LogExporterTest)
#include "LogExporterTest.moc"
