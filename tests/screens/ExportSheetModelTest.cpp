#include "common/TestMain.h"

#include "screens/ExportSheetModel.h"

#include <QTemporaryDir>

#include <memory>

namespace {

// "kind|flags|tag,tag": flags o = open, s = suggested.
QList<LogEntry> log(const QStringList& codes)
{
    QList<LogEntry> out;
    for (const QString& code : codes) {
        const QStringList parts = code.split(QLatin1Char('|'));
        LogEntry e;
        e.id = QUuid::createUuid();
        e.type = parts.at(0);
        e.open = parts.value(1).contains(QLatin1Char('o'));
        e.suggested = parts.value(1).contains(QLatin1Char('s'));
        if (!parts.value(2).isEmpty())
            e.tags = parts.at(2).split(QLatin1Char(','));
        out.append(e);
    }
    return out;
}

QSet<QString> set(const QStringList& list)
{
    return {list.cbegin(), list.cend()};
}

struct Rig {
    explicit Rig(const QStringList& codes, const QString& rename = {})
    {
        if (!rename.isEmpty())
            buttons.rename(rename.section(QLatin1Char('='), 0, 0), rename.section(QLatin1Char('='), 1));
        model = std::make_unique<ExportSheetModel>(log(codes), buttons, defaults);
    }

    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    LogButtonStore buttons{defaults};
    std::unique_ptr<ExportSheetModel> model;
};

} // namespace

class ExportSheetModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void presentTypes_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("rename");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("by button name, not id") << QStringList{"great", "cut", "great"} << ""
                                                << QStringList{"cut", "great"} << QStringList{"Don't use", "Great"};
        QTest::newRow("a renamed button moves")
            << QStringList{"great", "cut"} << "cut=Zap" << QStringList{"great", "cut"} << QStringList{"Great", "Zap"};
        QTest::newRow("unknown ids capitalized by word") << QStringList{"turning point", "zETA", "turning_point"} << ""
                                                         << QStringList{"turning point", "turning_point", "zETA"}
                                                         << QStringList{"Turning Point", "Turning point", "Zeta"};
        QTest::newRow("open and suggested count") << QStringList{"broll|o", "note|s"} << ""
                                                  << QStringList{"broll", "note"} << QStringList{"In / Out", "Note"};
    }
    void presentTypes()
    {
        QFETCH(QStringList, codes);
        QFETCH(QString, rename);
        QFETCH(QStringList, kinds);
        QFETCH(QStringList, names);
        Rig rig(codes, rename);
        QCOMPARE(rig.model->presentTypes(), kinds);
        QStringList shown;
        for (const QString& kind : kinds)
            shown << rig.model->displayName(kind);
        QCOMPARE(shown, names);
    }

    void includes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<bool>("passes");
        QTest::newRow("open never") << "great|o|hero" << QStringList{} << "hero" << true << false;
        QTest::newRow("suggested without the box") << "great|s" << QStringList{} << "" << false << false;
        QTest::newRow("suggested with the box") << "great|s" << QStringList{} << "" << true << true;
        QTest::newRow("kind left out") << "great" << QStringList{"cut"} << "" << false << false;
        QTest::newRow("kind ticked") << "great" << QStringList{"cut", "great"} << "" << false << true;
        QTest::newRow("tag exact") << "great||x,Hero" << QStringList{} << "Hero" << false << true;
        QTest::newRow("tag other case") << "great||hero" << QStringList{} << "Hero" << false << false;
        QTest::newRow("tag a prefix") << "great||heroes" << QStringList{} << "hero" << false << false;
    }
    void includes()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, types);
        QFETCH(QString, tag);
        QFETCH(bool, suggested);
        QFETCH(bool, passes);
        // Other kinds in the log, so a ticked subset is not every kind.
        Rig rig({code, "cut|o", "note|o"});
        for (const QString& kind : rig.model->presentTypes())
            rig.model->setKindChecked(kind, types.isEmpty() || types.contains(kind));
        rig.model->setTag(tag);
        rig.model->setIncludeSuggested(suggested);
        QCOMPARE(rig.model->types(), set(types));
        QCOMPARE(rig.model->includes(log({code}).at(0)), passes);
        QCOMPARE(rig.model->countLine(), QStringLiteral("%1 of 3 markers").arg(passes ? 1 : 0));
    }

    // "+kind" ticks, "-kind" unticks, in order.
    void kindChecks_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("untick one of all")
            << QStringList{"great", "cut"} << QStringList{"-great"} << QStringList{"cut"};
        QTest::newRow("tick back: every kind")
            << QStringList{"great", "cut"} << QStringList{"-great", "+great"} << QStringList{};
        QTest::newRow("untick both: every kind")
            << QStringList{"great", "cut"} << QStringList{"-great", "-cut"} << QStringList{};
        QTest::newRow("the only kind") << QStringList{"great"} << QStringList{"-great"} << QStringList{};
        QTest::newRow("two of three") << QStringList{"a", "b", "c"} << QStringList{"-a", "-b", "+a"}
                                      << QStringList{"a", "c"};
    }
    void kindChecks()
    {
        QFETCH(QStringList, codes);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, types);
        Rig rig(codes);
        for (const QString& step : steps)
            rig.model->setKindChecked(step.mid(1), step.startsWith(QLatin1Char('+')));
        QCOMPARE(rig.model->types(), set(types));
        for (const QString& kind : rig.model->presentTypes())
            QCOMPARE(rig.model->isKindChecked(kind), types.isEmpty() || types.contains(kind));
    }

    void presets_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<ExportSheetModel::Preset>("preset");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<bool>("suggested");
        QTest::addColumn<ExportFormat>("format");
        using P = ExportSheetModel::Preset;
        // Every row starts from: Pdf, only "note" ticked, tag "x", suggestions in.
        QTest::newRow("everything keeps the format")
            << QStringList{"great", "note||x"} << P::Everything << QStringList{} << false << ExportFormat::Pdf;
        QTest::newRow("exec pull: the showable kinds present")
            << QStringList{"great", "cut", "note||x", "turning_point"} << P::ExecPull
            << QStringList{"great", "turning_point"} << true << ExportFormat::Pdf;
        QTest::newRow("exec pull with none: every kind")
            << QStringList{"cut", "note||x"} << P::ExecPull << QStringList{} << true << ExportFormat::Pdf;
        QTest::newRow("compliance: cut only") << QStringList{"great", "cut", "note||x"} << P::Compliance
                                              << QStringList{"cut"} << true << ExportFormat::Csv;
        QTest::newRow("compliance without cut: all present")
            << QStringList{"great", "note||x"} << P::Compliance << QStringList{"great", "note"} << true
            << ExportFormat::Csv;
    }
    void presets()
    {
        QFETCH(QStringList, codes);
        QFETCH(ExportSheetModel::Preset, preset);
        QFETCH(QStringList, types);
        QFETCH(bool, suggested);
        QFETCH(ExportFormat, format);
        Rig rig(codes);
        ExportSheetModel& model = *rig.model;
        model.setFormat(ExportFormat::Pdf);
        for (const QString& kind : model.presentTypes())
            model.setKindChecked(kind, kind == u"note");
        model.setTag(QStringLiteral("x"));
        model.setIncludeSuggested(true);
        model.applyPreset(preset);
        QCOMPARE(model.types(), set(types));
        QCOMPARE(model.tag(), QString());
        QCOMPARE(model.includeSuggested(), suggested);
        QCOMPARE(model.format(), format);
    }

    void tape_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<std::optional<QString>>("tape");
        QTest::newRow("spaces and a tab") << "  A001\t" << ExportFormat::Ale << std::optional<QString>("A001");
        QTest::newRow("inner space kept") << "\tA 001 " << ExportFormat::Edl << std::optional<QString>("A 001");
        QTest::newRow("spaces only") << "  \t " << ExportFormat::Ale << std::optional<QString>();
        QTest::newRow("line break kept") << " A001\n" << ExportFormat::Ale << std::optional<QString>("A001\n");
        QTest::newRow("wide spaces") << QStringLiteral("\u00A0A001\u2003") << ExportFormat::Ale
                                     << std::optional<QString>("A001");
        QTest::newRow("handed over for csv too") << "B002" << ExportFormat::Csv << std::optional<QString>("B002");
    }
    void tape()
    {
        QFETCH(QString, typed);
        QFETCH(ExportFormat, format);
        QFETCH(std::optional<QString>, tape);
        Rig rig({"cut", "great||hero", "cut|o|hero", "great|s|hero", "note||hero"});
        rig.model->setTape(typed);
        rig.model->setFormat(format);
        rig.model->setTag(QStringLiteral("hero"));
        const std::optional<ExportChoice> choice = rig.model->exportNow();
        QVERIFY(choice);
        QCOMPARE(choice->format, format);
        QCOMPARE(choice->tape, tape);
        QCOMPARE(rig.defaults.string(ExportSheetModel::tapeKey), std::optional<QString>(typed));
        const QList<LogEntry>& all = rig.model->entries();
        QCOMPARE(choice->entries, (QList<LogEntry>{all.at(1), all.at(4)}));
    }
};

PINDLE_TEST(ExportSheetModelTest)
#include "ExportSheetModelTest.moc"
