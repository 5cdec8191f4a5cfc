#include "ScreenRig.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "model/LogButtonKind.h"

#include <QJsonArray>

using screen_test::kWaitMs;

namespace {

const QString kFunnyDrop = QStringLiteral("pindle-button:funny");

using ComposerRig = screen_test::WrittenRig;

QJsonArray hiddenButtons()
{
    QJsonArray buttons;
    for (const LogButtonKind& kind : LogButtonKind::all())
        buttons.append(LogButton{kind.kind, kind.label, false, 10}.toJson());
    return buttons;
}

} // namespace

class ComposerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<ComposerRig> rig(bool scripted, const QJsonArray& buttons = {})
    {
        return std::make_unique<ComposerRig>(m_standin->baseUrl(), m_cookie, scripted, buttons);
    }
    std::optional<QJsonObject> summaryAsked(const QString& text) { return screen_test::summaryAsked(*m_standin, text); }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    // Enter logs the selected line whole under the composer's kind (the chip picked, else the
    // first shown, else "earmark"), with the note trimmed and the speaker's name of the moment,
    // and closes the composer.
    void commitNote_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("chips");
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty note") << QString() << QString() << QString() << QStringLiteral("earmark");
        QTest::newRow("spaces and line breaks")
            << QStringLiteral(" \n\t \r\n ") << QString() << QStringLiteral("pick sad") << QStringLiteral("sad");
        QTest::newRow("padded, inner break kept")
            << QStringLiteral("\n  plane over,\ngo again  \n") << QStringLiteral("plane over,\ngo again")
            << QStringLiteral("hide earmark") << QStringLiteral("cutaway");
        QTest::newRow("no chip shown") << QString() << QString() << QStringLiteral("none") << QStringLiteral("earmark");
    }
    void commitNote()
    {
        QFETCH(QString, note);
        QFETCH(QString, stored);
        QFETCH(QString, chips);
        QFETCH(QString, kind);
        auto r = rig(true, chips == u"none" ? hiddenButtons() : QJsonArray());
        QCOMPARE(r->screen->buttons().visible().isEmpty(), chips == u"none");
        if (chips == u"hide earmark")
            r->screen->buttons().toggle(QStringLiteral("earmark"));
        const auto rename = [&](const QString& name) {
            r->screen->setRenamingSpeaker(QStringLiteral("Boom"));
            r->screen->renameText = name;
            r->screen->saveSpeakerName();
        };
        rename(QStringLiteral("Ada"));
        const DisplaySegment line =
            r->put(QStringLiteral("n"), QStringLiteral("rolling"), 1.5, 2.5, QStringLiteral("Boom"));
        r->screen->selectLine(line.id);
        r->clock.fireDue();
        if (chips == u"pick sad")
            r->screen->setDraftKind(QStringLiteral("sad"));
        r->screen->setDraftNote(note);
        r->screen->commitComposer(line.id);
        rename(QStringLiteral("Bea"));

        QCOMPARE(r->entries().size(), 1);
        const LogEntry entry = r->entries().constFirst();
        QCOMPARE(entry.type, kind);
        QCOMPARE(entry.note, stored);
        QCOMPARE(entry.highlight, line.text);
        QVERIFY(entry.summarising && !entry.open && !entry.suggested && entry.tags.isEmpty() && !entry.lineIDs);
        QCOMPARE(entry.time, r->engineStart().addingSeconds(1.5));
        QCOMPARE(entry.timecode, r->camera.timecodeAt(entry.time));
        QCOMPARE(entry.lineID, std::optional(line.id));
        // The name shown when it was logged, not since.
        QCOMPARE(entry.speaker, std::optional(QStringLiteral("Ada")));
        QVERIFY(r->screen->flashing().contains(entry.id));
        QVERIFY(!r->screen->composingLine() && !r->screen->draftKind() && !r->screen->composerFocused());
        QVERIFY(r->screen->draftNote().isEmpty());
        QCOMPARE(r->state(line.id), LineUse::State::FullyUsed);
    }

    // What an entry quotes: an unused line as heard, a partly used one only its new words;
    // either way the line is then logged whole and a drop on it changes nothing.
    void quotedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("quote");
        QTest::newRow("unused keeps its spaces")
            << QStringLiteral("  rolling on two  ") << QString() << QStringLiteral("  rolling on two  ");
        QTest::newRow("partly used") << QStringLiteral("speed, mark it,  action please ")
                                     << QStringLiteral("speed, mark it,") << QStringLiteral("action please");
        QTest::newRow("empty line") << QString() << QString() << QString();
    }
    void quotedText()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QFETCH(QString, quote);
        auto r = rig(true);
        const DisplaySegment line = r->put(QStringLiteral("q"), text);
        if (!logged.isEmpty()) {
            LogEntry earlier;
            earlier.id = QUuid::createUuid();
            earlier.highlight = logged;
            earlier.lineID = line.id;
            r->screen->log().appendEntry(earlier);
            QCOMPARE(r->state(line.id), LineUse::State::PartlyUsed);
        }
        r->screen->selectLine(line.id);
        r->screen->commitComposer(line.id);
        const LogEntry entry = r->entries().constLast();
        QCOMPARE(entry.highlight, quote);
        QCOMPARE(entry.summarising, !quote.isEmpty());
        QCOMPARE(r->state(line.id), LineUse::State::FullyUsed);

        const qsizetype count = r->entries().size();
        QVERIFY(r->screen->dropOnLine({kFunnyDrop}, line.id));
        QCOMPARE(r->entries().size(), count);
        QVERIFY(!r->screen->poppedKind());
        // The service client sends the quote without its outer spaces.
        if (!quote.isEmpty())
            QVERIFY(QTest::qWaitFor([&] { return summaryAsked(quote.trimmed()).has_value(); }, kWaitMs));
    }

    // Seconds since the engine's start stamp the entry; an untimed line its first sighting, a
    // missing end the commit; an end before the start is raised to it. Only a timed line's
    // summary is asked with the lines before it.
    void timing_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<double>("time");
        QTest::addColumn<double>("endTime");
        QTest::newRow("timed") << 2.0 << 5.5 << 2.0 << 5.5;
        QTest::newRow("end before start") << 5.0 << 3.0 << 5.0 << 5.0;
        QTest::newRow("start and end equal") << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("no end") << 4.0 << -1.0 << 4.0 << 30.0;
        QTest::newRow("untimed") << -1.0 << -1.0 << 12.0 << 30.0;
        QTest::newRow("untimed, end before first seen") << -1.0 << 4.0 << 12.0 << 12.0;
    }
    void timing()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(double, time);
        QFETCH(double, endTime);
        auto r = rig(true);
        const Date zero = r->engineStart();
        r->put(QStringLiteral("before"), QStringLiteral("what came before"), 0, 0);
        r->clock.advance(std::chrono::seconds(12));
        const QString text = QStringLiteral("timed %1 to %2").arg(start).arg(end);
        const DisplaySegment line = r->put(QStringLiteral("t"), text, start, end);
        r->clock.advance(std::chrono::seconds(18));
        r->screen->dropOnLine({kFunnyDrop}, line.id);
        const LogEntry entry = r->entries().constLast();
        QCOMPARE(entry.time, zero.addingSeconds(time));
        QCOMPARE(entry.endTime, std::optional(zero.addingSeconds(endTime)));
        QCOMPARE(entry.timecodeOut, std::optional(r->camera.timecodeAt(zero.addingSeconds(endTime))));
        QVERIFY(!entry.speaker);
        QVERIFY(QTest::qWaitFor([&] { return summaryAsked(text).has_value(); }, kWaitMs));
        const QString leadIn = summaryAsked(text)->value(QStringLiteral("leadIn")).toString();
        QCOMPARE(leadIn.contains(QStringLiteral("what came before")), start >= 0);
    }

    // Only marker-button payloads are taken, the first of them; an unknown kind, or a line never
    // seen, is taken and changes nothing, Enter on it neither. A held row whose line its stream
    // took back still logs the row as shown.
    void drops_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("kind");
        const QString shown = QStringLiteral("shown");
        QTest::newRow("nothing") << QStringList() << shown << false << QString();
        QTest::newRow("plain text") << QStringList{QStringLiteral("funny"), QStringLiteral("pindle-buttonfunny")}
                                    << shown << false << QString();
        QTest::newRow("other case") << QStringList{QStringLiteral("Pindle-Button:funny")} << shown << false
                                    << QString();
        QTest::newRow("first payload wins")
            << QStringList{QStringLiteral("hello"), kFunnyDrop, QStringLiteral("pindle-button:sad")} << shown << true
            << QStringLiteral("funny");
        QTest::newRow("hidden button's kind")
            << QStringList{QStringLiteral("pindle-button:great")} << shown << true << QStringLiteral("great");
        QTest::newRow("unknown kind") << QStringList{QStringLiteral("pindle-button:confetti")} << shown << true
                                      << QString();
        QTest::newRow("prefix alone") << QStringList{QStringLiteral("pindle-button:")} << shown << true << QString();
        QTest::newRow("line taken back") << QStringList{kFunnyDrop} << QStringLiteral("taken back") << true
                                         << QStringLiteral("funny");
        QTest::newRow("line never seen") << QStringList{kFunnyDrop} << QStringLiteral("never") << true << QString();
    }
    void drops()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, line);
        QFETCH(bool, accepted);
        QFETCH(QString, kind);
        auto r = rig(true);
        const QString id = QStringLiteral("d");
        if (line != u"never") {
            r->put(id, QStringLiteral("that was lovely"));
            r->screen->selectLine(id);
        }
        if (line == u"taken back")
            r->stream->takeBack(id);
        QCOMPARE(r->screen->dropOnLine(texts, id), accepted);
        if (line != u"shown")
            r->screen->commitComposer(id);
        QCOMPARE(r->entries().size(), kind.isEmpty() ? 0 : 1);
        // Only a drop that logs closes the composer.
        QCOMPARE(r->screen->composingLine().has_value(), kind.isEmpty() && line != u"never");
        QCOMPARE(r->screen->poppedKind(), kind.isEmpty() ? std::nullopt : std::optional(kind));
        if (kind.isEmpty())
            return;
        QCOMPARE(r->entries().constFirst().type, kind);
        QVERIFY(r->entries().constFirst().note.isEmpty());
        r->clock.advance(LoggingScreenModel::kPopHold - std::chrono::milliseconds(1));
        QVERIFY(r->screen->poppedKind());
        r->clock.advance(std::chrono::milliseconds(1));
        QVERIFY(!r->screen->poppedKind());
    }

    // Enter logs the row the logger typed under as the held rows show it: its text as at the
    // hold, even when the stream has since changed the line or taken it back.
    void enterOnHeldRow_data()
    {
        QTest::addColumn<QString>("after");
        QTest::newRow("unchanged") << QString();
        QTest::newRow("changed since the hold") << QStringLiteral("change");
        QTest::newRow("taken back since the hold") << QStringLiteral("take back");
        QTest::newRow("taken back, another line came") << QStringLiteral("take back, put");
    }
    void enterOnHeldRow()
    {
        QFETCH(QString, after);
        auto r = rig(true);
        const DisplaySegment line =
            r->put(QStringLiteral("h"), QStringLiteral("we roll at dawn"), 4, 6, QStringLiteral("Boom"));
        r->screen->selectLine(line.id);
        r->clock.fireDue();
        QVERIFY(r->screen->transcriptPane().state().held);
        if (after.contains(u"change"))
            r->stream->change(line.id, QStringLiteral("we roll at dawn tomorrow"));
        if (after.contains(u"take back"))
            r->stream->takeBack(line.id);
        if (after.contains(u"put"))
            r->put(QStringLiteral("later"), QStringLiteral("cut"), 7, 8);
        r->screen->setDraftNote(QStringLiteral("wide"));
        r->screen->commitComposer(line.id);

        QCOMPARE(r->entries().size(), 1);
        const LogEntry entry = r->entries().constFirst();
        QCOMPARE(entry.highlight, line.text);
        QCOMPARE(entry.note, QStringLiteral("wide"));
        QCOMPARE(entry.lineID, std::optional(line.id));
        QCOMPARE(entry.speaker, std::optional(QStringLiteral("Boom")));
        QCOMPARE(entry.time, r->engineStart().addingSeconds(4));
        QCOMPARE(entry.endTime, r->engineStart().addingSeconds(6));
        QVERIFY(!r->screen->composingLine());
        QVERIFY(!r->screen->transcriptPane().state().held);
    }

    // A drop while a note is typed under another line logs the dropped line alone, with no note,
    // and the composer and its note are gone.
    void dropWhileComposingElsewhere()
    {
        auto r = rig(true);
        const DisplaySegment typed = r->put(QStringLiteral("a"), QStringLiteral("first"));
        const DisplaySegment dropped = r->put(QStringLiteral("b"), QStringLiteral("second"));
        r->screen->selectLine(typed.id);
        r->screen->setDraftKind(QStringLiteral("sad"));
        r->screen->setDraftNote(QStringLiteral("keep this take"));
        QVERIFY(r->screen->dropOnLine({kFunnyDrop}, dropped.id));
        QCOMPARE(r->entries().size(), 1);
        const LogEntry entry = r->entries().constFirst();
        QCOMPARE(entry.type, QStringLiteral("funny"));
        QVERIFY(entry.note.isEmpty());
        QCOMPARE(entry.lineID, std::optional(dropped.id));
        QVERIFY(!r->screen->composingLine() && r->screen->draftNote().isEmpty() && !r->screen->draftKind());
        QVERIFY(!r->screen->lineUse().isUsed(typed.id));
    }

    // The picker's heading names the entry's button (the kind when none has it) in its colour,
    // and offers the last 40 shown lines.
    void linePicker_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QColor>("colour");
        const QColor unknown(0x9A, 0x93, 0x88);
        QTest::newRow("no entry") << QString() << QStringLiteral("Pick the lines for ") << unknown;
        QTest::newRow("renamed button") << QStringLiteral("funny") << QStringLiteral("Pick the lines for Big & loud")
                                        << LogButtonKind::color(u"funny").current();
        QTest::newRow("no button of the kind")
            << QStringLiteral("mystery kind") << QStringLiteral("Pick the lines for Mystery Kind") << unknown;
    }
    void linePicker()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(QColor, colour);
        auto r = rig(false);
        r->screen->buttons().rename(QStringLiteral("funny"), QStringLiteral(" Big & loud "));
        QVERIFY(r->play(LoggingScreenModel::kPickerLines + 5));
        if (!kind.isEmpty()) {
            LogEntry entry;
            entry.id = QUuid::createUuid();
            entry.type = kind;
            r->screen->log().appendEntry(entry);
            r->screen->openPicker(entry.id);
        }
        const LoggingScreenModel::LinePicker picker = r->screen->linePicker();
        QCOMPARE(picker.title, title);
        QCOMPARE(picker.color, colour);
        const QList<DisplaySegment> visible = r->screen->visibleSegments();
        QCOMPARE(picker.lines, visible.mid(visible.size() - LoggingScreenModel::kPickerLines));
    }
};

PINDLE_TEST(ComposerTest)
#include "ComposerTest.moc"
