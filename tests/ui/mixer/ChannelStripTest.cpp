#include "MixerRig.h"
#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "ui/mixer/MixerMeters.h"

#include <QImage>

using namespace mixer_test;
using namespace Qt::Literals::StringLiterals;

namespace {

// A strip or a compact row on its own, on a frame clock that moves only when told.
struct Lone {
    explicit Lone(bool strip)
    {
        if (strip)
            control = std::make_unique<ChannelStrip>(motion, frames);
        else
            control = std::make_unique<CompactChannelRow>(motion, frames);
        control->resize(strip ? control->sizeHint() : QSize(330, control->sizeHint().height()));
    }
    void show(const MixerModel::Channel& channel)
    {
        if (auto* strip = qobject_cast<ChannelStrip*>(control.get()))
            strip->setChannel(channel, QColor(0x2F6FD6));
        else
            static_cast<CompactChannelRow*>(control.get())->setChannel(channel, QColor(0x2F6FD6));
    }

    ManualClock clock;
    FrameClock frames{&clock};
    MeterMotion motion{frames};
    std::unique_ptr<ChannelControl> control;
};

MixerModel::Channel channelOf(bool on, double fader, bool scanned)
{
    MixerModel::Channel channel;
    channel.config.index = 2;
    channel.config.name = u"Boom"_s;
    channel.config.on = on;
    channel.config.fader = fader;
    // A strip outlines the scanned channel; a row the focused one (the scan's or the agent's).
    channel.scanningThis = scanned;
    channel.focused = scanned;
    return channel;
}

} // namespace

class ChannelStripTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A tile flips its own channel's flag in the engine and nothing else; a second click puts
    // it back. The strip's words for the tile follow.
    void tileFlipsEngineFlag_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("which");
        QTest::addColumn<int>("position");
        for (const int channels : {5, 11}) {
            const char* layout = channels == 5 ? "strip" : "row";
            for (const char* which : {"mute", "watch", "agent"}) {
                QTest::addRow("%s %s, first", layout, which) << channels << QByteArray(which) << 0;
                QTest::addRow("%s %s, last", layout, which) << channels << QByteArray(which) << channels - 1;
            }
        }
    }
    void tileFlipsEngineFlag()
    {
        QFETCH(int, channels);
        QFETCH(QByteArray, which);
        QFETCH(int, position);
        MixerRig bench(channels);
        const auto flag = [&which](const ChannelConfig& c) {
            return which == "mute" ? !c.on : which == "watch" ? c.hidden : c.agent;
        };
        const QList<ChannelConfig> before = bench.engine().channels();
        ChannelTile* tile = bench.tile(position, which);
        const QString wordsBefore = tile->accessibleName();
        QTest::mouseClick(tile, Qt::LeftButton);
        for (int i = 0; i < channels; ++i)
            QCOMPARE(flag(bench.config(i)), flag(before.at(i)) != (i == position));
        const int live = which == "mute" ? channels - 1 : channels;
        QCOMPARE(bench.view->headerButton()->countText(), u"%1 of %2 live"_s.arg(live).arg(channels));
        if (!bench.compact() || which == "mute")
            QVERIFY(tile->accessibleName() != wordsBefore);
        QTest::mouseClick(tile, Qt::LeftButton);
        QCOMPARE(bench.engine().channels(), before);
        QCOMPARE(tile->accessibleName(), wordsBefore);
    }

    // Headphones go to one channel at a time: a click takes them, a click elsewhere moves them,
    // a click on the same one stops them.
    void headphonesFollowClicks_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("strips") << 4;
        QTest::newRow("rows") << 9;
    }
    void headphonesFollowClicks()
    {
        QFETCH(int, channels);
        MixerRig bench(channels);
        DesktopTranscriber& engine = bench.engine();
        const auto listening = [&](std::optional<int> expected) {
            QCOMPARE(engine.monitorChannel(), expected);
            for (int i = 0; i < channels; ++i) {
                const bool on = expected == i;
                QCOMPARE(bench.part(i, [](auto* control) { return control->channel().monitoring; }), on);
                if (!bench.compact())
                    QCOMPARE(bench.tile(i, "listen")->accessibleName(),
                             (on ? u"Stop listening to "_s : u"Listen to "_s) + bench.config(i).name);
            }
        };
        listening(std::nullopt);
        QTest::mouseClick(bench.tile(1, "listen"), Qt::LeftButton);
        listening(1);
        QTest::mouseClick(bench.tile(channels - 1, "listen"), Qt::LeftButton);
        listening(channels - 1);
        QTest::mouseClick(bench.tile(channels - 1, "listen"), Qt::LeftButton);
        listening(std::nullopt);
    }

    // A name's tooltip says what the agent made of a strip's channel when it has a brief for
    // it, else offers the rename; a click asks for that channel's rename, a right click not.
    void nameButton_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("briefOn");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no brief") << 4 << 2 << -1 << u"Rename channel 3"_s;
        QTest::newRow("brief") << 4 << 2 << 2 << u"Lunch order. Two agree on pizza"_s;
        QTest::newRow("brief on another channel") << 4 << 2 << 1 << u"Rename channel 3"_s;
        QTest::newRow("last strip") << 8 << 7 << -1 << u"Rename channel 8"_s;
        QTest::newRow("row 10") << 12 << 9 << -1 << u"Rename channel 10"_s;
    }
    void nameButton()
    {
        QFETCH(int, channels);
        QFETCH(int, position);
        QFETCH(int, briefOn);
        QFETCH(QString, expected);
        MixerRig bench(channels);
        if (briefOn >= 0)
            bench.rig.agent->apply(briefOn, {u"Lunch order"_s, u"new"_s, u"Two agree on pizza"_s, {}}, true);
        ChannelNameButton* name = bench.part(position, [](auto* control) { return control->nameButton(); });
        QCOMPARE(name->toolTip(), expected);
        QCOMPARE(name->accessibleDescription(), expected);
        QCOMPARE(name->accessibleName(), bench.config(position).name);
        QSignalSpy asked(&bench.model, &MixerModel::renameRequested);
        QTest::mouseClick(name, Qt::RightButton);
        QTest::mouseClick(name, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).at(0).toInt(), position);
    }

    // A compact row's four tiles are items of the row like the rest: 6 apart, and 6 after the
    // fader when no verdict stands between them.
    void compactTilesSixApart()
    {
        MixerRig bench(10);
        for (const int position : {0, 9}) {
            CompactChannelRow* row = bench.view->rows().at(std::size_t(position));
            const QList<QWidget*> items{row->fader(), row->muteButton(), row->watchButton(), row->listenButton(),
                                        row->agentButton()};
            for (qsizetype i = 1; i < items.size(); ++i)
                QCOMPARE(items[i]->x() - items[i - 1]->geometry().right() - 1, 6);
        }
    }

    // Full opacity while live (on, fader above 0.005) or while the scan is on the channel (for a
    // row: the scan or the agent), muted or not; 0.6 otherwise. The same whether the channel is
    // shown so at first or eases there.
    void opacityFollowsLiveness_data()
    {
        QTest::addColumn<bool>("strip");
        QTest::addColumn<bool>("on");
        QTest::addColumn<double>("fader");
        QTest::addColumn<bool>("scanned");
        QTest::addColumn<double>("opacity");
        for (const bool strip : {true, false}) {
            const char* layout = strip ? "strip" : "row";
            QTest::addRow("%s live", layout) << strip << true << 0.5 << false << 1.0;
            QTest::addRow("%s muted", layout) << strip << false << 0.5 << false << 0.6;
            QTest::addRow("%s fader on the off mark", layout) << strip << true << 0.005 << false << 0.6;
            QTest::addRow("%s fader just above it", layout) << strip << true << 0.0051 << false << 1.0;
            QTest::addRow("%s muted, scanned", layout) << strip << false << 0.5 << true << 1.0;
            QTest::addRow("%s faded out, scanned", layout) << strip << true << 0.0 << true << 1.0;
            QTest::addRow("%s muted and faded out, scanned", layout) << strip << false << 0.0 << true << 1.0;
        }
    }
    void opacityFollowsLiveness()
    {
        QFETCH(bool, strip);
        QFETCH(bool, on);
        QFETCH(double, fader);
        QFETCH(bool, scanned);
        QFETCH(double, opacity);
        Lone first(strip);
        first.show(channelOf(on, fader, scanned));
        QCOMPARE(first.control->opacity(), opacity);

        Lone eased(strip);
        eased.show(channelOf(opacity < 1.0, 0.5, false));
        eased.show(channelOf(on, fader, scanned));
        eased.clock.advance(1s);
        QCOMPARE(eased.control->opacity(), opacity);
    }

    // A compact row shows a verdict only when it says the channel is not worth transcribing:
    // silent, timecode and copy are written out, speech and quiet draw nothing at all.
    void compactVerdicts_data()
    {
        QTest::addColumn<std::optional<ScanKind>>("scan");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << std::optional<ScanKind>() << QString();
        QTest::newRow("speech") << std::optional(ScanKind::speech()) << QString();
        QTest::newRow("quiet") << std::optional(ScanKind::quiet()) << QString();
        QTest::newRow("silent") << std::optional(ScanKind::silent()) << u"SILENT"_s;
        QTest::newRow("timecode") << std::optional(ScanKind::timecode()) << u"TIMECODE"_s;
        QTest::newRow("copy of channel 1") << std::optional(ScanKind::copy(0)) << u"COPY OF 1"_s;
    }
    void compactVerdicts()
    {
        QFETCH(std::optional<ScanKind>, scan);
        QFETCH(QString, text);
        Lone plain(false);
        plain.show(channelOf(true, 0.5, false));
        Lone judged(false);
        MixerModel::Channel channel = channelOf(true, 0.5, false);
        channel.scan = scan;
        judged.show(channel);
        QCOMPARE(static_cast<CompactChannelRow*>(judged.control.get())->scanText(), text);
        QCOMPARE(judged.control->grab().toImage() == plain.control->grab().toImage(), text.isEmpty());
    }
};

PINDLE_TEST(ChannelStripTest)

#include "ChannelStripTest.moc"
