#pragma once

#include <QString>

// Where the logging screen's panes go for a window width: two columns side by side from 820
// wide, else one column with a Log and a Transcript tab. A pure function of the window and the
// screen's settings, so the views only follow it.
struct ScreenLayout {
    // Window widths: the two columns from here on; the header is compact below the second.
    static constexpr double kWideFrom = 820;
    static constexpr double kFullHeaderFrom = 1240;
    // The channel column's share of a wide window, and its least width.
    static constexpr double kChannelShare = 0.42;
    static constexpr double kChannelMinimum = 320;
    static constexpr int kChatUnderLogHeight = 190;
    static constexpr int kChatByChannelsHeight = 170;
    static constexpr int kTranscriptMinimumHeight = 200;

    struct Input {
        double width = 0;
        // 0 Log, 1 Transcript (any other value: Transcript), for a narrow window.
        int tab = 0;
        bool showMixer = true;
        bool showTags = true;
        QString agentPlace;
        bool agentEnabled = false;
        bool hasChannels = false;
    };

    bool wide = false;
    bool compactHeader = false;
    // The header's Log / Transcript picker.
    bool tabs = false;
    // Wide: the channel column's width.
    int channelColumnWidth = 0;

    // The log column and what it holds.
    bool logColumn = false;
    bool logTitle = false;
    bool chatUnderLog = false;
    bool tagBar = false;
    // The channel column and what it holds.
    bool channelColumn = false;
    bool mixerBand = false;
    bool chatByChannels = false;
    bool transcriptTitle = false;

    [[nodiscard]] static ScreenLayout of(const Input& input);

    friend bool operator==(const ScreenLayout&, const ScreenLayout&) = default;
};
