#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
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
    // Heights in the channel column: the chat's fixed height (0: it shares the room with the
    // transcript, down to its panel's least height), and the least the transcript keeps. The mixer band
    // gives way before the wide transcript's least; a narrow one has none, so the band stays
    // whole before the transcript gets room.
    int chatByChannelsHeight = 0;
    int transcriptMinimumHeight = 0;

    [[nodiscard]] static ScreenLayout of(const Input& input);

    friend bool operator==(const ScreenLayout&, const ScreenLayout&) = default;
};

// Where the header's top bar puts its items. Each keeps its natural size, so no text is cut:
// the brand block on the left, the controls (menus, pills, Start/Stop) right-aligned on one
// line. When the line cannot hold them all, the controls wrap into right-aligned lines, in
// order, beside the brand block while those lines are no taller than it, else under it; Start/
// Stop, the last control, stays the rightmost item.
struct TopBarPlan {
    struct Input {
        double width = 0;
        QSizeF brand;
        QList<QSizeF> controls;
        // Between items on a line, between lines, and at least between the brand and the controls.
        double spacing = 8;
    };

    QRectF brand;
    QList<QRectF> controls;
    // Lines of controls, and whether they stand under the brand block.
    int lines = 0;
    bool underBrand = false;
    double height = 0;

    [[nodiscard]] static TopBarPlan of(const Input& input);
};

// Where the header's timecode panel puts its items: the running digits, the frame-rate and
// camera-sync pills, the source block and the phone-scan row. On one line when the width holds
// them all, each centred on the line, with the items from `trailingFrom` on at the right edge
// (after the flexible space). A narrower panel wraps them, in order, into lines under the digits,
// leading items at the left and trailing ones at the right, so nothing is cut; an item wider than
// the panel is given the panel's width (its owner wraps its text, and says how tall that makes it).
struct TimecodeRowPlan {
    struct Input {
        double width = 0;
        // An empty size: the item is absent and takes neither room nor spacing.
        QList<QSizeF> items;
        qsizetype trailingFrom = -1;
        double spacing = 14;
        double lineSpacing = 8;
    };

    QList<QRectF> items;
    int lines = 0;
    double height = 0;

    // The room an item is given in a panel `width` wide.
    [[nodiscard]] static double itemWidth(double item, double width);
    [[nodiscard]] static TimecodeRowPlan of(const Input& input);
};
