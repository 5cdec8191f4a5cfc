#include "common/TestMain.h"
#include "model/LogKeywordStore.h"
#include "model/LogTagStore.h"
#include "model/SoundCueSettings.h"

#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

class SettingsStoresTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    void seed(const QString& key, const QJsonValue& value)
    {
        if (!value.isUndefined())
            Defaults(m_path).set(key, value);
    }
    QJsonValue stored(const QString& key) const { return Defaults(m_path).value(key); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("defaults.json"));
        QFile::remove(m_path);
    }

    void keywordLoad_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << QStringList{};
        QTest::newRow("stored") << QJsonValue(QJsonArray{"police", "Sarah"}) << QStringList{"police", "Sarah"};
        QTest::newRow("a string") << QJsonValue(QStringLiteral("police")) << QStringList{};
        QTest::newRow("a number inside") << QJsonValue(QJsonArray{"police", 3}) << QStringList{};
        QTest::newRow("an object") << QJsonValue(QJsonObject{{"police", true}}) << QStringList{};
    }
    void keywordLoad()
    {
        QFETCH(QJsonValue, value);
        QFETCH(QStringList, expected);
        seed(LogKeywordStore::key, value);
        Defaults defaults(m_path);
        LogKeywordStore store(defaults);
        QCOMPARE(store.words(), expected);
    }

    void keywordAdd_data()
    {
        QTest::addColumn<QStringList>("initial");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty piece dropped") << QStringList{} << "police, fight,, Sarah"
                                             << QStringList{"police", "fight", "Sarah"};
        QTest::newRow("present ignoring case") << QStringList{"police"} << "Police" << QStringList{"police"};
        QTest::newRow("earlier piece counts") << QStringList{} << "police, POLICE" << QStringList{"police"};
        QTest::newRow("repeat later in the text") << QStringList{} << "a,b,A" << QStringList{"a", "b"};
        QTest::newRow("trimmed of line breaks") << QStringList{} << "\n  Sarah \r\n" << QStringList{"Sarah"};
        QTest::newRow("inner spaces kept") << QStringList{} << " red car " << QStringList{"red car"};
        QTest::newRow("blank pieces only") << QStringList{"x"} << " , ,\t\n,," << QStringList{"x"};
        QTest::newRow("empty text") << QStringList{"x"} << "" << QStringList{"x"};
        QTest::newRow("case beyond ASCII") << QStringList{"école"} << "ÉCOLE" << QStringList{"école"};
        QTest::newRow("kept as typed") << QStringList{"a"} << "BBC" << QStringList{"a", "BBC"};
    }
    void keywordAdd()
    {
        QFETCH(QStringList, initial);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        seed(LogKeywordStore::key, QJsonArray::fromStringList(initial));
        Defaults defaults(m_path);
        LogKeywordStore store(defaults);

        // Each word is stored as it is added, so a crash half way keeps the earlier words.
        QList<QStringList> storedAtEachChange;
        connect(&store, &LogKeywordStore::wordsChanged, this, [&] {
            storedAtEachChange.append(Defaults(m_path).stringList(LogKeywordStore::key).value_or(QStringList{"?"}));
        });
        store.add(text);
        QCOMPARE(store.words(), expected);
        QCOMPARE(storedAtEachChange.size(), expected.size() - initial.size());
        for (qsizetype i = 0; i < storedAtEachChange.size(); ++i)
            QCOMPARE(storedAtEachChange.at(i), expected.mid(0, initial.size() + i + 1));
    }

    void keywordRemove_data()
    {
        QTest::addColumn<QStringList>("initial");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("exact") << QStringList{"police", "Sarah"} << "police" << QStringList{"Sarah"};
        QTest::newRow("other case removes nothing") << QStringList{"police"} << "Police" << QStringList{"police"};
        QTest::newRow("every copy") << QStringList{"a", "b", "a"} << "a" << QStringList{"b"};
        QTest::newRow("from an empty list") << QStringList{} << "a" << QStringList{};
    }
    void keywordRemove()
    {
        QFETCH(QStringList, initial);
        QFETCH(QString, word);
        QFETCH(QStringList, expected);
        if (!initial.isEmpty())
            seed(LogKeywordStore::key, QJsonArray::fromStringList(initial));
        Defaults defaults(m_path);
        LogKeywordStore store(defaults);
        QSignalSpy changed(&store, &LogKeywordStore::wordsChanged);
        store.remove(word);
        QCOMPARE(store.words(), expected);
        // Stored even when nothing was removed.
        QCOMPARE(changed.size(), 1);
        QCOMPARE(stored(LogKeywordStore::key), QJsonValue(QJsonArray::fromStringList(expected)));
    }

    void tagLoad_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QStringList>("expected");
        const QStringList defaults = LogTagStore::defaultTags();
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << defaults;
        QTest::newRow("empty array") << QJsonValue(QJsonArray{}) << defaults;
        QTest::newRow("stored") << QJsonValue(QJsonArray{"Drone", "GV"}) << QStringList{"Drone", "GV"};
        QTest::newRow("wrong type") << QJsonValue(42) << defaults;
        QTest::newRow("a null inside") << QJsonValue(QJsonArray{"Drone", QJsonValue::Null}) << defaults;
    }
    void tagLoad()
    {
        QFETCH(QJsonValue, value);
        QFETCH(QStringList, expected);
        seed(LogTagStore::key, value);
        Defaults defaults(m_path);
        LogTagStore store(defaults);
        QCOMPARE(store.available(), expected);
        // Loading never writes.
        QCOMPARE(stored(LogTagStore::key), value);
    }

    void defaultTags()
    {
        QCOMPARE(LogTagStore::defaultTags(),
                 QStringList({"Interview", "Piece to camera", "B-roll", "GV", "Sync", "Archive", "Emotion",
                              "Key fact", "Location", "Person"}));
    }

    void tagAdd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("appended"); // empty when nothing is added
        QTest::newRow("present") << "Sync" << "";
        QTest::newRow("present after trimming") << " \tSync  " << "";
        QTest::newRow("other case is new") << "sync" << "sync";
        QTest::newRow("spaces and tabs trimmed") << "\t Drone  " << "Drone";
        QTest::newRow("line break kept") << "Drone\n" << "Drone\n";
        QTest::newRow("a line break alone is a tag") << "\n" << "\n";
        QTest::newRow("no-break and wide spaces trimmed") << QString::fromUtf8("\u00A0Drone\u3000") << "Drone";
        QTest::newRow("blank") << " \t " << "";
        QTest::newRow("empty") << "" << "";
    }
    void tagAdd()
    {
        QFETCH(QString, text);
        QFETCH(QString, appended);
        Defaults defaults(m_path);
        LogTagStore store(defaults);
        QSignalSpy changed(&store, &LogTagStore::availableChanged);
        store.add(text);
        QStringList expected = LogTagStore::defaultTags();
        if (!appended.isEmpty())
            expected.append(appended);
        QCOMPARE(store.available(), expected);
        QCOMPARE(changed.size(), appended.isEmpty() ? 0 : 1);
        if (appended.isEmpty())
            QVERIFY(stored(LogTagStore::key).isUndefined());
        else
            QCOMPARE(Defaults(m_path).stringList(LogTagStore::key), std::optional<QStringList>(expected));
    }

    void tagsSurviveARestart()
    {
        {
            Defaults defaults(m_path);
            LogTagStore store(defaults);
            store.add(QStringLiteral("Drone"));
            store.add(QStringLiteral("Slate"));
        }
        Defaults defaults(m_path);
        LogTagStore store(defaults);
        QCOMPARE(store.available().mid(10), QStringList({"Drone", "Slate"}));
    }

    void soundCues_data()
    {
        QTest::addColumn<QJsonValue>("cues");
        QTest::addColumn<QJsonValue>("threshold");
        QTest::addColumn<QStringList>("expectedCues");
        QTest::addColumn<double>("expectedThreshold");
        const QJsonValue none(QJsonValue::Undefined);
        const QStringList defaults{"applause", "cheering", "laughter"};
        QTest::newRow("nothing stored") << none << none << defaults << 0.7;
        QTest::newRow("empty array is no cues") << QJsonValue(QJsonArray{}) << none << QStringList{} << 0.7;
        QTest::newRow("chosen cues") << QJsonValue(QJsonArray{"laughter", "laughter"}) << none
                                     << QStringList{"laughter"} << 0.7;
        QTest::newRow("a number inside") << QJsonValue(QJsonArray{"laughter", 1}) << none << defaults << 0.7;
        QTest::newRow("a string") << QJsonValue(QStringLiteral("laughter")) << none << defaults << 0.7;
        QTest::newRow("threshold 0.45") << none << QJsonValue(0.45) << defaults << 0.45;
        QTest::newRow("threshold 0") << none << QJsonValue(0) << defaults << 0.7;
        QTest::newRow("negative threshold") << none << QJsonValue(-0.2) << defaults << 0.7;
        QTest::newRow("threshold as text") << none << QJsonValue(QStringLiteral("0.45")) << defaults << 0.7;
        QTest::newRow("threshold as bool") << none << QJsonValue(true) << defaults << 0.7;
        QTest::newRow("smallest positive") << none << QJsonValue(5e-324) << defaults << 5e-324;
    }
    void soundCues()
    {
        QFETCH(QJsonValue, cues);
        QFETCH(QJsonValue, threshold);
        QFETCH(QStringList, expectedCues);
        QFETCH(double, expectedThreshold);
        seed(SoundCueSettings::enKey, cues);
        seed(SoundCueSettings::thKey, threshold);
        Defaults defaults(m_path);
        const SoundCueSettings settings(defaults);
        QStringList enabled = settings.enabled().values();
        enabled.sort();
        QCOMPARE(enabled, expectedCues);
        QCOMPARE(settings.threshold(), expectedThreshold);
        QCOMPARE(stored(SoundCueSettings::enKey), cues);
        QCOMPARE(stored(SoundCueSettings::thKey), threshold);
    }
};

PINDLE_TEST(SettingsStoresTest)
#include "test_settings_stores.moc"
