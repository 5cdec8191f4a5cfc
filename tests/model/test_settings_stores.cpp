#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "model/LogButtonStore.h"
#include "model/LogKeywordStore.h"
#include "model/LogTagStore.h"
#include "model/SoundCueSettings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

const QJsonValue none(QJsonValue::Undefined);

QJsonObject buttonJson(const QString& kind, const QString& name, bool enabled, double reach = 10)
{
    return LogButton{kind, name, enabled, reach}.toJson();
}

// Every table kind in table order, under its label, with the given ones enabled.
QJsonArray tableOrderJson(const QStringList& enabledKinds, double reach = 10)
{
    QJsonArray array;
    for (const LogButtonKind& row : LogButtonKind::all())
        array.append(buttonJson(row.kind, row.label, enabledKinds.contains(row.kind), reach));
    return array;
}

QStringList kindsOf(const QList<LogButton>& buttons)
{
    QStringList kinds;
    for (const LogButton& b : buttons)
        kinds.append(b.kind);
    return kinds;
}

} // namespace

// The stores kept in the user defaults: marker buttons, keywords, tags and sound cues.
class SettingsStoresTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::optional<Defaults> m_defaults;

    // The settings as the app opens them at a start; the previous run's are flushed and closed.
    Defaults& reopen()
    {
        m_defaults.reset();
        return m_defaults.emplace(m_path);
    }

    // A settings file as a previous run left it; by default both button migrations have run.
    void seed(const QJsonValue& buttons, const QJsonValue& defaultsFlag = true, const QJsonValue& noteFlag = true)
    {
        Defaults seeded(m_path);
        seeded.set(LogButtonStore::buttonsKey, buttons);
        seeded.set(LogButtonStore::defaultsFlagKey, defaultsFlag);
        seeded.set(LogButtonStore::noteOffFlagKey, noteFlag);
    }
    // What the store kept (the file is the settings' own concern).
    QJsonValue stored(const QString& key) const { return m_defaults->value(key); }
    QList<LogButton> storedButtons() const
    {
        QList<LogButton> list;
        for (const QJsonValue& v : stored(LogButtonStore::buttonsKey).toArray())
            list.append(LogButton::fromJson(v).value_or(LogButton{}));
        return list;
    }

private Q_SLOTS:
    void init()
    {
        m_defaults.reset();
        m_path = m_dir.filePath(u"defaults.json"_s);
        QFile::remove(m_path);
    }

    // A first start shows the four default kinds and stores only the defaults flag until the
    // first change; the next start's Note migration finds Note already hidden.
    void firstStart()
    {
        {
            LogButtonStore store(reopen());
            QCOMPARE(store.buttons(), LogButtonStore::defaultButtons());
            QCOMPARE(kindsOf(store.visible()), LogButtonStore::defaultEnabledKinds());
            QVERIFY(stored(LogButtonStore::defaultsFlagKey) == true && !stored(LogButtonStore::buttonsKey).isArray());
            store.rename(u"sad"_s, u"Tears"_s);
            QCOMPARE(storedButtons(), store.buttons());
        }
        LogButtonStore store(reopen());
        QCOMPARE(kindsOf(store.visible()), LogButtonStore::defaultEnabledKinds());
        QCOMPARE(store.button(u"sad"_s)->name, u"Tears"_s);
        QCOMPARE(stored(LogButtonStore::noteOffFlagKey), QJsonValue(true));
    }

    // Anything but a list gives the default list and leaves what was stored alone until the first
    // change; numbers past the double range never crash.
    void undecodableStoredList_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not a list") << "3"_ba;
        QTest::newRow("reach overflows") << R"([{"kind":"sad","name":"E","enabled":true,"reach":1e999}])"_ba;
    }
    void undecodableStoredList()
    {
        QFETCH(QByteArray, json);
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(R"({"pindle_logger_buttons":)" + json + "}") > 0);
        file.close();
        const QJsonValue before = reopen().value(LogButtonStore::buttonsKey);
        QCOMPARE(LogButtonStore(*m_defaults).buttons(), LogButtonStore::defaultButtons());
        QCOMPARE(stored(LogButtonStore::buttonsKey), before);
    }

    // A bad field takes the kind's default (label, default shown state, 10 s); a button without a
    // readable kind is dropped. The buttons around it keep their place and the next change keeps all.
    void storedButtonsDecodeOneByOne_data()
    {
        QTest::addColumn<QByteArray>("middle");
        QTest::addColumn<LogButton>("decoded"); // none when dropped
        const LogButton lol{u"funny"_s, u"LOL"_s, false, 10};
        for (const char* reach : {"\"15\"", "null", "true", "{}", "[5]", "\"NaN\""})
            QTest::addRow("reach %s", reach)
                << R"({"kind":"funny","name":"LOL","enabled":false,"reach":)" + QByteArray(reach) + '}' << lol;
        QTest::newRow("reach huge") << R"({"kind":"funny","name":"LOL","enabled":false,"reach":1e308})"_ba
                                    << LogButton{u"funny"_s, u"LOL"_s, false, 120};
        QTest::newRow("reach missing") << R"({"kind":"funny","name":"LOL","enabled":false})"_ba << lol;
        QTest::newRow("name, enabled mistyped")
            << R"({"kind":"funny","name":7,"enabled":"no"})"_ba << LogButton{u"funny"_s, u"Funny"_s, true, 10};
        QTest::newRow("kind null") << R"({"kind":null,"name":"LOL","enabled":false,"reach":5})"_ba << LogButton{};
        QTest::newRow("not an object") << R"("funny")"_ba << LogButton{};
    }
    void storedButtonsDecodeOneByOne()
    {
        QFETCH(QByteArray, middle);
        QFETCH(LogButton, decoded);
        const QByteArray sad = R"({"kind":"sad","name":"Tears","enabled":true,"reach":30})";
        const QByteArray clip = R"({"kind":"clip","name":"C","enabled":true,"reach":5})";
        seed(QJsonDocument::fromJson('[' + sad + ',' + middle + ',' + clip + ']').array());
        LogButtonStore store(reopen());
        QList<LogButton> kept{{u"sad"_s, u"Tears"_s, true, 30}, decoded, {u"clip"_s, u"C"_s, true, 5}};
        kept.removeAll(LogButton{});
        QCOMPARE(store.buttons().mid(0, kept.size()), kept);
        store.toggle(u"broll"_s);
        QCOMPARE(LogButtonStore(reopen()).buttons(), store.buttons());
    }

    // Unknown kinds (ids compare exactly) are dropped, new ones appended hidden, repeated ones kept
    // (edits act on the first), other keys ignored; completing the list is not worth storing.
    void storedListIsCompleted()
    {
        QJsonArray array = tableOrderJson({u"earmark"_s}, 30);
        array.removeAt(12); // clip
        QJsonObject earmark = buttonJson(u"earmark"_s, u"Mark"_s, true, 7);
        earmark.insert(u"colour"_s, QJsonArray{1, 2});
        array[0] = earmark;
        array.insert(1, buttonJson(u"slate"_s, u"Slate"_s, true));
        array.append(buttonJson(u"Earmark"_s, u"Upper"_s, true));
        array.append(buttonJson(u"earmark"_s, u"Second"_s, true));
        seed(array);
        LogButtonStore store(reopen());
        QCOMPARE(store.buttons().size(), 15);
        QCOMPARE(store.buttons().first(), (LogButton{u"earmark"_s, u"Mark"_s, true, 7}));
        QCOMPARE(store.buttons().last(), (LogButton{u"clip"_s, u"Clip"_s, false, 10}));
        QVERIFY(!store.button(u"slate"_s) && !store.button(u"Earmark"_s));
        QCOMPARE(stored(LogButtonStore::buttonsKey), QJsonValue(array));
        store.rename(u"earmark"_s, u"First"_s);
        QVERIFY(store.buttons().first().name == u"First"_s && store.buttons().at(13).name == u"Second"_s);
    }

    // A name and reach from the file are held to what `rename` and `setReach` allow.
    void storedButtonsMeetTheLimits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("reach");
        QTest::addColumn<LogButton>("held");
        QTest::newRow("below") << u" Tears\n"_s << 0.4 << LogButton{u"sad"_s, u"Tears"_s, true, 1};
        QTest::newRow("above, blank name") << u"\t"_s << 500.0 << LogButton{u"sad"_s, u"Sad"_s, true, 120};
        QTest::newRow("half") << u"x"_s << 2.5 << LogButton{u"sad"_s, u"x"_s, true, 3};
        QTest::newRow("lowest") << u"x"_s << -1.7e308 << LogButton{u"sad"_s, u"x"_s, true, 1};
    }
    void storedButtonsMeetTheLimits()
    {
        QFETCH(QString, name);
        QFETCH(double, reach);
        seed(QJsonArray{buttonJson(u"sad"_s, name, true, reach)});
        QTEST(*LogButtonStore(reopen()).button(u"sad"_s), "held");
    }

    // The old label of the first cutaway button so named is renamed; other spellings are the user's.
    void cutawayRename()
    {
        QJsonArray array = tableOrderJson({u"earmark"_s});
        array[2] = buttonJson(u"cutaway"_s, u"b-roll"_s, false);
        array.append(buttonJson(u"cutaway"_s, u"B-roll"_s, false));
        array.append(buttonJson(u"cutaway"_s, u"B-roll"_s, false));
        seed(array);
        LogButtonStore store(reopen());
        QCOMPARE(store.buttons().at(2).name, u"b-roll"_s);
        QCOMPARE(store.buttons().at(14).name, u"Highlight"_s);
        QCOMPARE(store.buttons().at(15).name, u"B-roll"_s);
        QCOMPARE(storedButtons(), store.buttons());
    }

    // Once per user, unless the flag is true (absent reads as the wrong type does): the four
    // default kinds shown first, in order; the others keep their names, reach and order.
    void defaultsMigration()
    {
        const QStringList order{"reaction", "sad",         "clip",        "great",    "note",
                                "cutaway",  "broll",       "funny",       "cut",      "turning_point",
                                "earmark",  "testimonial", "proof_point", "soundbite"};
        QJsonArray array;
        for (const QString& kind : order)
            array.append(buttonJson(kind, "My " + kind, kind == u"reaction" || kind == u"great", 25));
        seed(array, u"true"_s);
        LogButtonStore store(reopen());
        const QStringList expected{"earmark",       "cutaway",     "funny",       "sad",      "reaction",
                                   "clip",          "great",       "note",        "broll",    "cut",
                                   "turning_point", "testimonial", "proof_point", "soundbite"};
        QCOMPARE(kindsOf(store.buttons()), expected);
        QCOMPARE(kindsOf(store.visible()), expected.mid(0, 4));
        for (const LogButton& b : store.buttons())
            QVERIFY(b.name == "My " + b.kind && b.reach == 25);
        QCOMPARE(storedButtons(), store.buttons());
        store.move({4}, 0); // once only: the next start keeps the user's later changes
        QCOMPARE(LogButtonStore(reopen()).buttons(), store.buttons());
    }

    // Note is hidden once, unless it is the only button shown: then the next start tries again.
    void noteMigration()
    {
        seed(tableOrderJson({u"note"_s}), true, QJsonValue::Undefined);
        for (const QString& kind : {u"sad"_s, u"note"_s}) {
            LogButtonStore store(reopen());
            QCOMPARE(stored(LogButtonStore::noteOffFlagKey).isUndefined(), kind == u"sad");
            QCOMPARE(kindsOf(store.visible()), QStringList{kind == u"sad" ? u"note"_s : u"sad"_s});
            store.toggle(kind);
        }
        QCOMPARE(kindsOf(LogButtonStore(reopen()).visible()), QStringList({"note", "sad"}));
    }

    // The last shown button cannot be hidden; unknown kinds change nothing; names are trimmed of
    // white space and line breaks, and one that trims to nothing restores the label; reach is
    // whole seconds in 1 … 120, halves away from zero, NaN ignored; a move takes the buttons at
    // `sources` (out-of-range ones ignored) before `destination` (clamped), in their order.
    void edits()
    {
        seed(tableOrderJson({u"funny"_s}));
        LogButtonStore store(reopen());
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);
        store.toggle(u"funny"_s);
        store.toggle(u"slate"_s);
        store.rename(u"slate"_s, u"Slate"_s);
        store.setReach(u"slate"_s, 30);
        QCOMPARE(changed.size(), 0);
        store.toggle(u"clip"_s);
        store.toggle(u"funny"_s);
        store.toggle(u"clip"_s);
        QCOMPARE(kindsOf(store.visible()), QStringList{"clip"});
        store.rename(u"funny"_s, u"\n\tBig  laugh\r\n"_s);
        store.rename(u"cut"_s, u"Nope"_s);
        store.rename(u"cut"_s, u"\n"_s);
        QCOMPARE(store.button(u"funny"_s)->name, u"Big  laugh"_s);
        QCOMPARE(store.button(u"cut"_s)->name, u"Don't use"_s);
        for (const auto& [seconds, reach] : {std::pair{2.5, 3.0}, {0.4, 1.0}, {1e300, 120.0}, {std::nan(""), 120.0}}) {
            store.setReach(u"broll"_s, seconds);
            QCOMPARE(store.button(u"broll"_s)->reach, reach);
        }
        QCOMPARE(changed.size(), 8);
        const QList<LogButton> before = store.buttons();
        store.move({2, 99, 1, -1, 1}, -5);
        store.move({2}, 99);
        store.move({3, 4}, 4);
        QCOMPARE(store.buttons(), before.mid(1) + before.mid(0, 1));
        QCOMPARE(storedButtons(), store.buttons());
    }
    // Keywords compare without case when added, and each is stored as it is added, so a crash
    // half way keeps the earlier words; stored words load as `add` would take them, and stored
    // values that are not strings are skipped, not the whole list.
    void keywordAdd_data()
    {
        QTest::addColumn<QJsonValue>("initial");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("present ignoring case")
            << QJsonValue(QJsonArray{"école", "b", "ÉCOLE"}) << "École" << QStringList{"école", "b"};
        QTest::newRow("stored as add takes words")
            << QJsonValue(QJsonArray{" a\n", "b,c", "", "A"}) << "d" << QStringList{"a", "b", "c", "d"};
        QTest::newRow("earlier piece counts") << none << "a, b,, A" << QStringList{"a", "b"};
        QTest::newRow("trimmed of line breaks") << none << "\n  red car \r\n" << QStringList{"red car"};
        QTest::newRow("stored with other types") << QJsonValue(QJsonArray{"police", 3, QJsonValue::Null, QJsonObject{}})
                                                 << "x" << QStringList{"police", "x"};
    }
    void keywordAdd()
    {
        QFETCH(QJsonValue, initial);
        QFETCH(QStringList, expected);
        Defaults(m_path).set(LogKeywordStore::key, initial);
        Defaults& defaults = reopen();
        LogKeywordStore store(defaults);
        const QStringList before = store.words();
        QList<QStringList> storedAtEachChange;
        connect(&store, &LogKeywordStore::wordsChanged, this, [&] {
            storedAtEachChange.append(defaults.stringList(LogKeywordStore::key).value_or(QStringList{"?"}));
        });
        QFETCH(QString, text);
        store.add(text);
        QCOMPARE(store.words(), expected);
        QCOMPARE(storedAtEachChange.size(), expected.size() - before.size());
        for (qsizetype i = 0; i < storedAtEachChange.size(); ++i)
            QCOMPARE(storedAtEachChange.at(i), expected.mid(0, before.size() + i + 1));
        // Removal is exact and takes every copy; the list is stored even when nothing matched.
        store.remove(expected.first().toUpper());
        store.remove(expected.first());
        QStringList rest = expected;
        rest.removeAll(expected.first());
        QCOMPARE(stored(LogKeywordStore::key), QJsonValue(QJsonArray::fromStringList(rest)));
        QCOMPARE(storedAtEachChange.size(), expected.size() - before.size() + 2);
    }

    // Tags compare exactly and only spaces and tabs are trimmed, line breaks stay; stored tags
    // load as `add` would take them, values that are not strings skipped. An empty palette loads
    // the defaults without writing them.
    void tagAdd_data()
    {
        QTest::addColumn<QJsonValue>("initial");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList defaults = LogTagStore::defaultTags();
        QTest::newRow("present after trimming") << QJsonValue(QJsonArray{}) << " \tSync  " << defaults;
        QTest::newRow("other case is new") << none << "sync" << defaults + QStringList{"sync"};
        QTest::newRow("line break kept") << QJsonValue(QJsonArray{"GV"}) << "Drone\n" << QStringList{"GV", "Drone\n"};
        QTest::newRow("stored blanks and repeats")
            << QJsonValue(QJsonArray{" GV\t", "GV", "", u"\u3000"_s}) << "Drone" << QStringList{"GV", "Drone"};
        QTest::newRow("wide spaces trimmed, number skipped")
            << QJsonValue(QJsonArray{"GV", 1}) << u"\u00A0Drone\u3000"_s << QStringList{"GV", "Drone"};
    }
    void tagAdd()
    {
        QFETCH(QJsonValue, initial);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Defaults(m_path).set(LogTagStore::key, initial);
        LogTagStore store(reopen());
        const bool grows = store.available().size() < expected.size();
        store.add(text);
        QCOMPARE(store.available(), expected);
        QCOMPARE(stored(LogTagStore::key), grows ? QJsonValue(QJsonArray::fromStringList(expected)) : initial);
    }

    // An empty array is a choice (no cues), unlike a missing or mistyped value or one with no
    // string in it; other values are skipped. A threshold must be above zero and at most one.
    void soundCues_data()
    {
        QTest::addColumn<QJsonValue>("cues");
        QTest::addColumn<QJsonValue>("threshold");
        QTest::addColumn<QStringList>("expectedCues");
        QTest::addColumn<double>("expectedThreshold");
        const QStringList defaults{"applause", "cheering", "laughter"};
        QTest::newRow("nothing stored") << none << none << defaults << 0.7;
        QTest::newRow("empty array is no cues") << QJsonValue(QJsonArray{}) << QJsonValue(0) << QStringList{} << 0.7;
        QTest::newRow("tiny") << QJsonValue(QJsonArray{"clap"}) << QJsonValue(5e-324) << QStringList{"clap"} << 5e-324;
        QTest::newRow("one") << none << QJsonValue(1) << defaults << 1.0;
        QTest::newRow("strings kept") << QJsonValue(QJsonArray{"clap", QJsonValue::Null, 3}) << none
                                      << QStringList{"clap"} << 0.7;
        QTest::newRow("no string") << QJsonValue(QJsonArray{QJsonValue::Null}) << none << defaults << 0.7;
        QTest::newRow("above one") << none << QJsonValue(1.5) << defaults << 0.7;
    }
    void soundCues()
    {
        QFETCH(QJsonValue, cues);
        QFETCH(QJsonValue, threshold);
        Defaults(m_path).set(SoundCueSettings::enKey, cues);
        Defaults(m_path).set(SoundCueSettings::thKey, threshold);
        const SoundCueSettings settings(reopen());
        QStringList enabled = settings.enabled().values();
        enabled.sort();
        QTEST(enabled, "expectedCues");
        QTEST(settings.threshold(), "expectedThreshold");
    }
};

PINDLE_TEST(SettingsStoresTest)
#include "test_settings_stores.moc"
