#include "screens/ScreenLayout.h"

#include <algorithm>
#include <cmath>

ScreenLayout ScreenLayout::of(const Input& input)
{
    ScreenLayout layout;
    const double width = std::isfinite(input.width) ? input.width : 0.0;
    layout.wide = width >= kWideFrom;
    layout.compactHeader = width < kFullHeaderFrom;
    layout.tabs = !layout.wide;
    if (layout.wide) {
        layout.channelColumnWidth = int(std::max(kChannelShare * width, kChannelMinimum));
        layout.logColumn = true;
        layout.logTitle = true;
        layout.chatUnderLog = input.agentEnabled && input.agentPlace == QStringLiteral("log");
        layout.tagBar = input.showTags;
        layout.channelColumn = true;
        layout.mixerBand = input.showMixer && input.hasChannels;
        layout.chatByChannels = input.agentEnabled && input.agentPlace == QStringLiteral("channels");
        layout.transcriptTitle = true;
        return layout;
    }
    // Narrow: one tab at a time, with neither section title; each tab shows its panes whatever
    // the wide layout's settings say.
    if (input.tab == 0) {
        layout.logColumn = true;
        layout.tagBar = true;
    } else {
        layout.channelColumn = true;
        layout.mixerBand = input.hasChannels;
        layout.chatByChannels = input.agentEnabled;
    }
    return layout;
}
