#pragma once

// Shared by the agent tests: a running engine of scripted streams (the engine tests' rig), and an
// agent on a manual clock with its own defaults and service client.

#include "agent/ChannelAgent.h"
#include "audio/test_transcriber_support.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"

namespace agent_test {

using namespace Qt::Literals::StringLiterals;

// `count` words: "w1 w2 ...".
inline QString words(int count)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out.append(u"w%1"_s.arg(i));
    return out.join(u' ');
}

// A feed item as the agent posts it.
inline ChannelAgent::FeedItem feedItem(ChannelAgent::FeedItem::Kind kind, std::optional<int> channel,
                                       const QString& payload, const QString& text, const QString& detail = {})
{
    ChannelAgent::FeedItem made;
    made.kind = kind;
    made.channel = channel;
    made.payload = payload;
    made.text = text;
    made.detail = detail;
    return made;
}

struct AgentRig {
    // An input of `channels` (fewer than 3: a plain microphone); the service at `baseUrl`, by
    // default a closed port.
    explicit AgentRig(int channels, const QString& baseUrl = u"http://127.0.0.1:9"_s,
                      const std::optional<QString>& cookie = std::nullopt)
        : cookies(cookie), service(baseUrl, cookies)
    {
        rig.setDevices({transcriber_test::device(u"d"_s, u"Desk"_s, channels, true)});
        // No channel is muted for silence: the capture thread may be slow to start under load.
        rig.make(3600 * 1000);
        makeAgent(false);
    }

    // A new agent on the rig, at the demo shoot's pace when `demo`.
    void makeAgent(bool demo)
    {
        agent = std::make_unique<ChannelAgent>(AgentEnvironment{rig.defaults.get(), &service, &clock, demo});
        agent->setTranscriber(rig.engine.get());
    }

    DesktopTranscriber& transcriber() { return *rig.engine; }
    void run()
    {
        transcriber().start();
        QVERIFY(transcriber().running());
    }
    // A final line `id` of `text` on `channel` (-1: the microphone), ending at `end` seconds.
    void say(int channel, const QString& id, const QString& text, double end)
    {
        transcriber_test::ScriptedStream* stream = rig.open(channel);
        QVERIFY(stream);
        stream->put(id, text, std::max(end - 1.0, 0.0), end, transcriber().engineStart());
        stream->announce(text);
    }

    transcriber_test::Rig rig;
    ManualClock clock;
    InMemoryCookieStore cookies;
    APIService service;
    std::unique_ptr<ChannelAgent> agent;
};

} // namespace agent_test
