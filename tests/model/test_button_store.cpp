#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "model/LogButtonStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace {

QJsonObject buttonJson(const QString& kind, const QString& name, bool enabled, double reach = 10)
{
    return LogButton{kind, name, enabled, reach}.toJson();
}

// Every table kind in table order, with the enabled ones given.
QJsonArray tableOrderJson(const QStringList& enabledKinds)
{
    QJsonArray array;
    for (const LogButtonKind& row : LogButtonKind::all())
        array.append(buttonJson(row.kind, row.label, enabledKinds.contains(row.kind)));
    return array;
}

QStringList kindsOf(const QList<LogButton>& buttons)
{
    QStringList kinds;
    for (const LogButton& b : buttons)
        kinds.append(b.kind);
    return kinds;
}

const QStringList defaultOrder{
    QStringLiteral("earmark"),   QStringLiteral("cutaway"),     QStringLiteral("funny"),
    QStringLiteral("sad"),       QStringLiteral("great"),       QStringLiteral("note"),
    QStringLiteral("soundbite"), QStringLiteral("broll"),       QStringLiteral("cut"),
    QStringLiteral("turning_point"), QStringLiteral("testimonial"), QStringLiteral("proof_point"),
    QStringLiteral("clip"),      QStringLiteral("reaction"),
};

} // namespace

class LogButtonStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // A settings file as a previous run left it.
    void seed(const QJsonObject& values)
    {
        Defaults defaults(m_path);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            defaults.set(it.key(), it.value());
    }
    // What a later run would read back.
    QJsonValue stored(const QString& key) const { return Defaults(m_path).value(key); }
    QList<LogButton> storedButtons() const
    {
        QList<LogButton> list;
        for (const QJsonValue& v : stored(LogButtonStore::buttonsKey).toArray())
            list.append(LogButton::fromJson(v).value_or(LogButton{}));
        return list;
    }
    // Both flags set, so a test sees only the behaviour it is about.
    static QJsonObject migrated(const QJsonValue& buttons)
    {
        return {{LogButtonStore::buttonsKey, buttons},
                {LogButtonStore::defaultsFlagKey, true},
                {LogButtonStore::noteOffFlagKey, true}};
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("defaults.json"));
        QFile::remove(m_path);
    }

    void kindTable()
    {
        const auto& all = LogButtonKind::all();
        QCOMPARE(all.size(), 14);
        QStringList tableKinds;
        for (const auto& row : all)
            tableKinds.append(row.kind);
        QCOMPARE(tableKinds,
                 QStringList({"earmark", "great", "cutaway", "note", "soundbite", "broll", "funny", "cut",
                              "turning_point", "sad", "testimonial", "proof_point", "clip", "reaction"}));
        QCOMPARE(LogButtonKind::lookup(u"cut")->label, QStringLiteral("Don't use"));
        QCOMPARE(LogButtonKind::lookup(u"broll")->label, QStringLiteral("In / Out"));
        QCOMPARE(LogButtonKind::lookup(u"cutaway")->label, QStringLiteral("Highlight"));
        QCOMPARE(LogButtonKind::lookup(u"note")->hex, 0xF2F2EFu);
        QVERIFY(!LogButtonKind::lookup(u"Earmark"));
        QVERIFY(!LogButtonKind::lookup(u""));
        QVERIFY(!LogButtonKind::lookup(u"earmark "));
    }

    void kindColor_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<quint32>("dark");
        QTest::addColumn<quint32>("light");
        QTest::newRow("note follows the appearance") << "note" << 0x9A9388u << 0x6F6A60u;
        QTest::newRow("earmark") << "earmark" << 0xFF5C4Du << 0xFF5C4Du;
        QTest::newRow("broll") << "broll" << 0x2BB6C4u << 0x2BB6C4u;
        QTest::newRow("reaction") << "reaction" << 0xA78BFAu << 0xA78BFAu;
        QTest::newRow("unknown id") << "slate" << 0xFF5C4Du << 0xFF5C4Du;
        QTest::newRow("note in another case is unknown") << "Note" << 0xFF5C4Du << 0xFF5C4Du;
        QTest::newRow("empty id") << "" << 0xFF5C4Du << 0xFF5C4Du;
    }
    void kindColor()
    {
        QFETCH(QString, kind);
        QFETCH(quint32, dark);
        QFETCH(quint32, light);
        const AdaptiveColor color = LogButtonKind::color(kind);
        QCOMPARE(color.resolve(Appearance::Dark), QColor::fromRgb(opaqueRgb(dark)));
        QCOMPARE(color.resolve(Appearance::Light), QColor::fromRgb(opaqueRgb(light)));
    }

    void capitalized_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "slate" << "Slate";
        QTest::newRow("underscore is inside a word") << "turning_point" << "Turning_point";
        QTest::newRow("upper case rest lowered") << "sLATE" << "Slate";
        QTest::newRow("words at spaces") << "wide  SHOT\tdrone" << "Wide  Shot\tDrone";
        QTest::newRow("empty") << "" << "";
    }
    void capitalized()
    {
        QFETCH(QString, id);
        QFETCH(QString, expected);
        QCOMPARE(LogButtonKind::capitalized(id), expected);
    }

    void firstStartGivesDefaultsUnstored()
    {
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(kindsOf(store.buttons()), defaultOrder);
        QCOMPARE(kindsOf(store.visible()), defaultOrder.mid(0, 4));
        for (const LogButton& b : store.buttons()) {
            QCOMPARE(b.name, LogButtonKind::lookup(b.kind)->label);
            QCOMPARE(b.reach, 10.0);
        }
        QCOMPARE(stored(LogButtonStore::defaultsFlagKey), QJsonValue(true));
        QVERIFY(stored(LogButtonStore::buttonsKey).isUndefined());
        QVERIFY(stored(LogButtonStore::noteOffFlagKey).isUndefined());

        store.toggle(QStringLiteral("great"));
        QCOMPARE(storedButtons(), store.buttons());
    }

    // Anything that is not a list of whole buttons gives the default list and leaves what was
    // stored alone until the first change.
    void undecodableStoredList_data()
    {
        QTest::addColumn<QJsonValue>("value");
        const QJsonObject good = buttonJson(QStringLiteral("earmark"), QStringLiteral("E"), true);
        auto without = [&](const char* key) {
            QJsonObject o = good;
            o.remove(QLatin1StringView(key));
            return o;
        };
        auto with = [&](const char* key, const QJsonValue& v) {
            QJsonObject o = good;
            o.insert(QLatin1StringView(key), v);
            return o;
        };
        QTest::newRow("string") << QJsonValue(QStringLiteral("[]"));
        QTest::newRow("number") << QJsonValue(3);
        QTest::newRow("object") << QJsonValue(good);
        QTest::newRow("null") << QJsonValue(QJsonValue::Null);
        QTest::newRow("element not an object") << QJsonValue(QJsonArray{good, 1});
        QTest::newRow("nested array") << QJsonValue(QJsonArray{QJsonArray{good}});
        QTest::newRow("kind missing") << QJsonValue(QJsonArray{without("kind")});
        QTest::newRow("name missing") << QJsonValue(QJsonArray{without("name")});
        QTest::newRow("enabled missing") << QJsonValue(QJsonArray{without("enabled")});
        QTest::newRow("reach missing") << QJsonValue(QJsonArray{without("reach")});
        QTest::newRow("kind null") << QJsonValue(QJsonArray{with("kind", QJsonValue::Null)});
        QTest::newRow("enabled as number") << QJsonValue(QJsonArray{with("enabled", 1)});
        QTest::newRow("reach as string") << QJsonValue(QJsonArray{with("reach", QStringLiteral("10"))});
        QTest::newRow("name as object") << QJsonValue(QJsonArray{with("name", QJsonObject{})});
        QTest::newRow("one bad among good") << QJsonValue(QJsonArray{good, good, without("reach")});
    }
    void undecodableStoredList()
    {
        QFETCH(QJsonValue, value);
        seed({{LogButtonStore::buttonsKey, value}});
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons(), LogButtonStore::defaultButtons());
        QCOMPARE(stored(LogButtonStore::defaultsFlagKey), QJsonValue(true));
        QCOMPARE(stored(LogButtonStore::buttonsKey), value);
    }

    // Numbers past the double range in the file itself must not crash or leave a non-finite reach.
    void hostileNumbersInFile_data()
    {
        QTest::addColumn<QByteArray>("reach");
        QTest::newRow("overflow") << QByteArray("1e999");
        QTest::newRow("negative overflow") << QByteArray("-1e999");
        QTest::newRow("underflow") << QByteArray("1e-999");
        QTest::newRow("largest double") << QByteArray("1.7976931348623157e308");
        QTest::newRow("NaN word") << QByteArray("NaN");
    }
    void hostileNumbersInFile()
    {
        QFETCH(QByteArray, reach);
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"pindle_logger_buttons":[{"kind":"earmark","name":"E","enabled":true,"reach":)" + reach
                   + "}]}");
        file.close();
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().size(), 14);
        for (const LogButton& b : store.buttons())
            QVERIFY(std::isfinite(b.reach));
    }

    void storedListWithoutClipGetsItAppended()
    {
        QJsonArray array;
        for (const LogButtonKind& row : LogButtonKind::all()) {
            if (row.kind != u"clip")
                array.append(buttonJson(row.kind, row.label, true, 30));
        }
        seed(migrated(array));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().size(), 14);
        QCOMPARE(store.buttons().last(), (LogButton{QStringLiteral("clip"), QStringLiteral("Clip"), false, 10}));
        // Completing the list is not itself a change worth storing.
        QCOMPARE(stored(LogButtonStore::buttonsKey).toArray().size(), 13);
    }

    void unknownKindsAreDropped()
    {
        QJsonArray array = tableOrderJson({QStringLiteral("earmark")});
        array.insert(1, buttonJson(QStringLiteral("slate"), QStringLiteral("Slate"), true));
        array.append(buttonJson(QStringLiteral("Earmark"), QStringLiteral("Upper"), true));
        seed(migrated(array));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QStringList tableKinds;
        for (const auto& row : LogButtonKind::all())
            tableKinds.append(row.kind);
        QCOMPARE(kindsOf(store.buttons()), tableKinds);
        QVERIFY(!store.button(QStringLiteral("slate")));
    }

    // Several buttons of one kind are kept as stored; lookups and edits act on the first.
    void duplicateKindsKeptAsStored()
    {
        QJsonArray array = tableOrderJson({QStringLiteral("earmark")});
        array.append(buttonJson(QStringLiteral("earmark"), QStringLiteral("Second"), true, 40));
        seed(migrated(array));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().size(), 15);
        QCOMPARE(store.button(QStringLiteral("earmark"))->name, QStringLiteral("Earmark"));
        store.rename(QStringLiteral("earmark"), QStringLiteral("First"));
        QCOMPARE(store.buttons().first().name, QStringLiteral("First"));
        QCOMPARE(store.buttons().last().name, QStringLiteral("Second"));
    }

    void extraKeysIgnored()
    {
        QJsonObject earmark = buttonJson(QStringLiteral("earmark"), QStringLiteral("Mark"), true, 7);
        earmark.insert(QStringLiteral("colour"), QJsonArray{1, 2});
        seed(migrated(QJsonArray{earmark}));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().first(), (LogButton{QStringLiteral("earmark"), QStringLiteral("Mark"), true, 7}));
    }

    void cutawayRename_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("stores");
        QTest::newRow("old label") << "B-roll" << "Highlight" << true;
        QTest::newRow("lower case kept") << "b-roll" << "b-roll" << false;
        QTest::newRow("with a space kept") << "B-roll " << "B-roll " << false;
        QTest::newRow("user's own name") << "Cutaways" << "Cutaways" << false;
    }
    void cutawayRename()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(bool, stores);
        QJsonArray array = tableOrderJson({QStringLiteral("earmark")});
        array[2] = buttonJson(QStringLiteral("cutaway"), name, false);
        seed(migrated(array));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.button(QStringLiteral("cutaway"))->name, expected);
        QCOMPARE(storedButtons().at(2).name, stores ? expected : name);
    }

    // Only the first cutaway button named B-roll is renamed.
    void cutawayRenameFirstOnly()
    {
        QJsonArray array = tableOrderJson({QStringLiteral("earmark")});
        array[2] = buttonJson(QStringLiteral("cutaway"), QStringLiteral("B-roll"), false);
        array.append(buttonJson(QStringLiteral("cutaway"), QStringLiteral("B-roll"), false));
        seed(migrated(array));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().at(2).name, QStringLiteral("Highlight"));
        QCOMPARE(store.buttons().last().name, QStringLiteral("B-roll"));
    }

    void defaultsMigrationResetsAndResorts_data()
    {
        QTest::addColumn<QJsonValue>("flag");
        QTest::newRow("flag absent") << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("flag false") << QJsonValue(false);
        QTest::newRow("flag of the wrong type") << QJsonValue(QStringLiteral("true"));
    }
    void defaultsMigrationResetsAndResorts()
    {
        QFETCH(QJsonValue, flag);
        // A user's own order with their own choice of shown buttons.
        const QStringList userOrder{"reaction", "sad", "clip",          "great", "note",        "cutaway",     "broll",
                                    "funny",    "cut", "turning_point", "earmark", "testimonial", "proof_point", "soundbite"};
        QJsonArray array;
        for (const QString& kind : userOrder)
            array.append(buttonJson(kind, QStringLiteral("My ") + kind, kind == u"reaction" || kind == u"great", 25));
        QJsonObject values{{LogButtonStore::buttonsKey, array}, {LogButtonStore::noteOffFlagKey, true}};
        if (!flag.isUndefined())
            values.insert(LogButtonStore::defaultsFlagKey, flag);
        seed(values);

        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        const QStringList expected{"earmark", "cutaway", "funny",       "sad",         "reaction",  "clip", "great",
                                   "note",    "broll",   "cut",         "turning_point", "testimonial", "proof_point",
                                   "soundbite"};
        QCOMPARE(kindsOf(store.buttons()), expected);
        QCOMPARE(kindsOf(store.visible()), expected.mid(0, 4));
        for (const LogButton& b : store.buttons()) {
            QCOMPARE(b.name, QStringLiteral("My ") + b.kind);
            QCOMPARE(b.reach, 25.0);
        }
        QCOMPARE(storedButtons(), store.buttons());
        QCOMPARE(stored(LogButtonStore::defaultsFlagKey), QJsonValue(true));

        // Once only: the next start keeps the user's later changes.
        store.toggle(QStringLiteral("clip"));
        store.move({4}, 0);
        Defaults again(m_path);
        LogButtonStore next(again);
        QCOMPARE(next.buttons(), store.buttons());
    }

    void noteMigrationRunsOnce()
    {
        seed({{LogButtonStore::buttonsKey, tableOrderJson({QStringLiteral("note"), QStringLiteral("sad")})},
              {LogButtonStore::defaultsFlagKey, true}});
        {
            Defaults defaults(m_path);
            LogButtonStore store(defaults);
            QVERIFY(!store.button(QStringLiteral("note"))->enabled);
            QCOMPARE(kindsOf(store.visible()), QStringList{QStringLiteral("sad")});
            QCOMPARE(storedButtons(), store.buttons());
            QCOMPARE(stored(LogButtonStore::noteOffFlagKey), QJsonValue(true));
            store.toggle(QStringLiteral("note"));
        }
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QVERIFY(store.button(QStringLiteral("note"))->enabled);
    }

    void noteMigrationRetriedWhileNoteIsAlone()
    {
        seed({{LogButtonStore::buttonsKey, tableOrderJson({QStringLiteral("note")})},
              {LogButtonStore::defaultsFlagKey, true}});
        {
            Defaults defaults(m_path);
            LogButtonStore store(defaults);
            QCOMPARE(kindsOf(store.visible()), QStringList{QStringLiteral("note")});
            QVERIFY(stored(LogButtonStore::noteOffFlagKey).isUndefined());
            store.toggle(QStringLiteral("great"));
        }
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(kindsOf(store.visible()), QStringList{QStringLiteral("great")});
        QCOMPARE(stored(LogButtonStore::noteOffFlagKey), QJsonValue(true));
    }

    // A fresh user gets the defaults flag at once but the note flag only at the start after the
    // first stored change, where Note is already hidden.
    void secondStartAfterFirstChange()
    {
        {
            Defaults defaults(m_path);
            LogButtonStore store(defaults);
            store.rename(QStringLiteral("sad"), QStringLiteral("Tears"));
        }
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(kindsOf(store.buttons()), defaultOrder);
        QCOMPARE(store.button(QStringLiteral("sad"))->name, QStringLiteral("Tears"));
        QCOMPARE(stored(LogButtonStore::noteOffFlagKey), QJsonValue(true));
    }

    void toggle()
    {
        seed(migrated(tableOrderJson({QStringLiteral("funny")})));
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);

        store.toggle(QStringLiteral("funny"));
        QVERIFY(store.button(QStringLiteral("funny"))->enabled);
        store.toggle(QStringLiteral("slate"));
        QCOMPARE(changed.size(), 0);

        store.toggle(QStringLiteral("clip"));
        QVERIFY(store.button(QStringLiteral("clip"))->enabled);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(storedButtons(), store.buttons());

        store.toggle(QStringLiteral("funny"));
        QCOMPARE(kindsOf(store.visible()), QStringList{QStringLiteral("clip")});
        store.toggle(QStringLiteral("clip"));
        QCOMPARE(kindsOf(store.visible()), QStringList{QStringLiteral("clip")});
        QCOMPARE(changed.size(), 2);
    }

    void setReach_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.4 up to the minimum") << 0.4 << 1.0;
        QTest::newRow("0.5 rounds to 1") << 0.5 << 1.0;
        QTest::newRow("zero") << 0.0 << 1.0;
        QTest::newRow("negative") << -3.0 << 1.0;
        QTest::newRow("-0.5 away from zero, clamped") << -0.5 << 1.0;
        QTest::newRow("1.49 down") << 1.49 << 1.0;
        QTest::newRow("2.5 away from zero") << 2.5 << 3.0;
        QTest::newRow("whole") << 45.0 << 45.0;
        QTest::newRow("119.5 up") << 119.5 << 120.0;
        QTest::newRow("120.4 down") << 120.4 << 120.0;
        QTest::newRow("500") << 500.0 << 120.0;
        QTest::newRow("beyond any integer") << 1e300 << 120.0;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 120.0;
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << 1.0;
    }
    void setReach()
    {
        QFETCH(double, seconds);
        QFETCH(double, expected);
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);
        store.setReach(QStringLiteral("broll"), seconds);
        QCOMPARE(store.button(QStringLiteral("broll"))->reach, expected);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(storedButtons(), store.buttons());
    }

    void setReachIgnoresNaNAndUnknownKinds()
    {
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);
        store.setReach(QStringLiteral("broll"), std::numeric_limits<double>::quiet_NaN());
        store.setReach(QStringLiteral("slate"), 30);
        QCOMPARE(store.buttons(), LogButtonStore::defaultButtons());
        QCOMPARE(changed.size(), 0);
        QVERIFY(stored(LogButtonStore::buttonsKey).isUndefined());
    }

    void rename_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces around") << "funny" << "  Laughs  " << "Laughs";
        QTest::newRow("line breaks and tabs") << "funny" << "\n\tLaughs\r\n" << "Laughs";
        QTest::newRow("inner spaces kept") << "funny" << "Big  laugh" << "Big  laugh";
        QTest::newRow("spaces only resets") << "funny" << "   " << "Funny";
        QTest::newRow("empty resets") << "broll" << "" << "In / Out";
        QTest::newRow("reset with apostrophe") << "cut" << "\n" << "Don't use";
    }
    void rename()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        store.rename(kind, QStringLiteral("Something else"));
        store.rename(kind, text);
        QCOMPARE(store.button(kind)->name, expected);
        QCOMPARE(storedButtons(), store.buttons());
    }

    void renameUnknownKindDoesNothing()
    {
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);
        store.rename(QStringLiteral("slate"), QStringLiteral("Slate"));
        QCOMPARE(changed.size(), 0);
        QCOMPARE(store.buttons(), LogButtonStore::defaultButtons());
    }

    void move_data()
    {
        QTest::addColumn<QList<int>>("sources");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QList<int>>("expected"); // positions in the default list
        QList<int> identity;
        for (int i = 0; i < 14; ++i)
            identity.append(i);
        auto order = [](std::initializer_list<int> head, int restFrom, std::initializer_list<int> skip = {},
                        std::initializer_list<int> tail = {}) {
            QList<int> list(head);
            for (int i = restFrom; i < 14; ++i) {
                if (std::find(skip.begin(), skip.end(), i) == skip.end())
                    list.append(i);
            }
            list.append(QList<int>(tail));
            return list;
        };
        QTest::newRow("one forward") << QList<int>{0} << 3 << order({1, 2, 0}, 3);
        QTest::newRow("one backward") << QList<int>{5} << 0 << order({5, 0, 1, 2, 3, 4}, 6);
        QTest::newRow("several to the front") << QList<int>{1, 3} << 0 << order({1, 3, 0, 2}, 4);
        QTest::newRow("several to the end") << QList<int>{0, 2} << 14 << order({1}, 3, {}, {0, 2});
        QTest::newRow("across the destination") << QList<int>{1, 6} << 4 << order({0, 2, 3, 1, 6, 4, 5}, 7);
        QTest::newRow("destination is the first moved") << QList<int>{1, 2} << 1 << identity;
        QTest::newRow("destination inside the moved set") << QList<int>{1, 2} << 2 << identity;
        QTest::newRow("destination just after the set") << QList<int>{1, 2} << 3 << identity;
        QTest::newRow("sources unsorted and repeated") << QList<int>{2, 1, 1} << 5 << order({0, 3, 4, 1, 2}, 5);
        QTest::newRow("out-of-range sources ignored") << QList<int>{-1, 99, 2} << 0 << order({2, 0, 1}, 3);
        QTest::newRow("destination past the end") << QList<int>{0} << 99 << order({}, 1, {}, {0});
        QTest::newRow("negative destination") << QList<int>{13} << -5 << order({13}, 0, {13});
        QTest::newRow("no sources") << QList<int>{} << 4 << identity;
        QTest::newRow("everything") << identity << 7 << identity;
    }
    void move()
    {
        QFETCH(QList<int>, sources);
        QFETCH(int, destination);
        QFETCH(QList<int>, expected);
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        const QList<LogButton> before = store.buttons();
        QSignalSpy changed(&store, &LogButtonStore::buttonsChanged);
        store.move(sources, destination);
        QList<LogButton> want;
        for (int i : expected)
            want.append(before.at(i));
        QCOMPARE(store.buttons(), want);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(storedButtons(), want);
    }

    void editsSurviveARestart()
    {
        {
            Defaults defaults(m_path);
            LogButtonStore store(defaults);
            store.toggle(QStringLiteral("broll"));
            store.rename(QStringLiteral("broll"), QStringLiteral("Range"));
            store.setReach(QStringLiteral("broll"), 42.6);
            store.move({7}, 0);
        }
        Defaults defaults(m_path);
        LogButtonStore store(defaults);
        QCOMPARE(store.buttons().first(), (LogButton{QStringLiteral("broll"), QStringLiteral("Range"), true, 43}));
        QCOMPARE(kindsOf(store.visible()), QStringList({"broll", "earmark", "cutaway", "funny", "sad"}));
    }
};

PINDLE_TEST(LogButtonStoreTest)
#include "test_button_store.moc"
