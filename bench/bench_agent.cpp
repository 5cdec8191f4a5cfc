// The agent's ask tick over a long shoot (32 watched channels, 50,000 transcript lines): picking
// the channels and building the request, when six channels have news and when none has enough
// words, so every channel is looked at. And one frame of the character.

#include "agent/ChannelAgent.h"
#include "agent/PindleCharacter.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

namespace {

constexpr int kChannels = 32;
constexpr qint64 kLines = 50'000;

// A line every 0.2 s, channels taking turns: about 14 lines per channel in the last 90 s.
QList<DisplaySegment> transcript()
{
    QList<DisplaySegment> lines;
    lines.reserve(kLines);
    for (qint64 n = 0; n < kLines; ++n) {
        DisplaySegment s;
        s.channel = int(n % kChannels);
        s.id = QStringLiteral("%1-%2").arg(s.channel).arg(n);
        s.speaker = QStringLiteral("Channel %1").arg(s.channel);
        s.text = QStringLiteral("Line %1 of the long take, said at some length by someone.").arg(n);
        s.startSecs = double(n) * 0.2;
        s.endSecs = s.startSecs + 1.5;
        lines.append(s);
    }
    return lines;
}

QList<ChannelAgent::Watched> watched()
{
    QList<ChannelAgent::Watched> out;
    for (int i = 0; i < kChannels; ++i)
        out.append({i, QStringLiteral("Channel %1").arg(i)});
    return out;
}

// One tick from a fresh start (nothing judged yet), with `minimumWords`: the picks and the body
// the request would send.
void BM_AskTick(benchmark::State& state)
{
    const QList<DisplaySegment> lines = transcript();
    const QList<ChannelAgent::Watched> channels = watched();
    const double now = lines.constLast().endSecs;
    const int minimumWords = int(state.range(0));
    for (auto _ : state) {
        QHash<int, QString> judged;
        int cursor = 0;
        const QList<ChannelAgent::Pick> picks =
            ChannelAgent::pickChannels(lines, channels, now, minimumWords, cursor, judged);
        QJsonArray sent;
        for (const ChannelAgent::Pick& pick : picks)
            sent.append(ChannelAgent::channelPayload(pick, QStringLiteral("earlier topic")));
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("channels"), sent},
                                                          {QStringLiteral("logged"), QJsonArray()},
                                                          {QStringLiteral("sensitivity"), QStringLiteral("normal")}})
                                    .toJson(QJsonDocument::Compact);
        benchmark::DoNotOptimize(body);
        state.counters["picks"] = double(picks.size());
    }
}

void BM_CharacterStep(benchmark::State& state)
{
    PindleCharacter::State character;
    character.setAgentState(PindleAgentState::Thinking);
    for (auto _ : state) {
        character = PindleCharacter::step(std::move(character), 1.0 / 60.0);
        benchmark::DoNotOptimize(character.squash.x);
    }
}

} // namespace

BENCHMARK(BM_AskTick)->Arg(12)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CharacterStep)->Unit(benchmark::kNanosecond);
