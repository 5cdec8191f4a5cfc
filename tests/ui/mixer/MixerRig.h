#pragma once

// The mixer band on screen over a real engine and agent, for the widget tests.

#include "agent/AgentTestSupport.h"

#include "screens/MixerModel.h"
#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/ChannelStrip.h"
#include "ui/mixer/CompactChannelRow.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerView.h"

namespace mixer_test {

using namespace std::chrono_literals;

// The engine lists channels 0...n-1 in order here, so a channel's index is its position.
struct MixerRig {
    explicit MixerRig(int channels, bool open = true)
        : rig(channels), model(rig.transcriber(), rig.agent.get(), *rig.rig.defaults, rig.clock), frames(&rig.clock)
    {
        // The capture gives what the device lists unless a test says otherwise.
        rig.rig.captureChannels = channels;
        model.setOpen(open);
        view = std::make_unique<MixerView>(model, nullptr, &frames);
        view->resize(680, 420);
        view->show();
    }

    DesktopTranscriber& engine() { return rig.transcriber(); }
    [[nodiscard]] const ChannelConfig& config(int index) { return engine().channels().at(index); }
    // Rows from nine channels; their widgets exist once that layout was shown.
    [[nodiscard]] bool compact() const { return model.channelCount() >= MixerModel::kCompactFrom; }
    template <class Get> [[nodiscard]] auto part(int position, Get get) const
    {
        const auto at = static_cast<std::size_t>(position);
        return compact() ? get(view->rows().at(at)) : get(view->strips().at(at));
    }
    [[nodiscard]] MixerFader* fader(int position) const { return part(position, [](auto* c) { return c->fader(); }); }
    [[nodiscard]] ChannelTile* tile(int position, const QByteArray& which) const
    {
        return part(position, [&which](auto* c) {
            return which == "mute" ? c->muteButton() : which == "watch" ? c->watchButton()
                                   : which == "agent" ? c->agentButton() : c->listenButton();
        });
    }

    agent_test::AgentRig rig;
    MixerModel model;
    FrameClock frames;
    std::unique_ptr<MixerView> view;
};

} // namespace mixer_test
