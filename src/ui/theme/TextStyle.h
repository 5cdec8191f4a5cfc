#pragma once

#include <QFont>

// A text style: a face, a size in logical pixels, and letter tracking. Views name the style they
// draw with instead of spelling out a face and size; `font()` resolves it, through the bundled
// fonts (Fonts::font) or the system's own.
struct TextStyle {
    // A bundled face by PostScript name ("DMSans-SemiBold"); null for the system font.
    const char* face = nullptr;
    qreal size = 13;
    // The system font's weight; a bundled face carries its weight in its name.
    QFont::Weight weight = QFont::Normal;
    // The system font's fixed-pitch design, for codes and timecodes read digit by digit.
    bool monospaced = false;
    // Extra space after each letter, in logical pixels.
    qreal tracking = 0;

    [[nodiscard]] static constexpr TextStyle bundled(const char* face, qreal size, qreal tracking = 0)
    {
        return {face, size, QFont::Normal, false, tracking};
    }
    [[nodiscard]] static constexpr TextStyle system(qreal size, QFont::Weight weight = QFont::Normal,
                                                    bool monospaced = false)
    {
        return {nullptr, size, weight, monospaced, 0};
    }

    [[nodiscard]] QFont font() const;
    // The stroke weight a symbol drawn in this style takes.
    [[nodiscard]] QFont::Weight symbolWeight() const;

    // Titles.
    static const TextStyle screenTitle; // the sign-in card's name
    static const TextStyle cardTitle;   // a centred card's heading ("Can't reach Pindle")
    static const TextStyle paneTitle;   // a pane or page heading ("Log")
    static const TextStyle sheetTitle;  // a sheet's header row ("Your buttons")
    static const TextStyle caption;     // capitals over a section ("CHANNELS")
    static const TextStyle columnHead;  // capitals over a table column ("TIMECODE")
    // Running text.
    static const TextStyle field;      // a large text field (the e-mail address)
    static const TextStyle transcript; // a transcript line's words
    static const TextStyle bodyLarge;  // intros, the composer and search fields
    static const TextStyle body;       // messages and search hits
    static const TextStyle detail;     // errors, counts and explanations
    static const TextStyle note;       // hints, status lines, line timecodes
    static const TextStyle fine;       // the smallest secondary text
    static const TextStyle speaker;    // a speaker's name over a line
    // Controls.
    static const TextStyle buttonTitle; // the primary button and a marker button's name
    static const TextStyle pillTitle;   // a header pill's title
    static const TextStyle chipTitle;   // tag and kind chips, channel names
    static const TextStyle wordChip;    // keyword chips, the reach capsule
    static const TextStyle shortcut;    // a marker button's shortcut, readings
    static const TextStyle badge;       // "SELECTED" on a coral capsule
    static const TextStyle scanBadge;   // a channel's scan verdict
    static const TextStyle link;        // a link-style button
    // The system font, for symbols and digits.
    static const TextStyle pillSymbol;   // the symbol of a header pill
    static const TextStyle chipSymbol;   // the cross on a removable chip
    static const TextStyle codeField;    // the sign-in code
    static const TextStyle liveTimecode; // the header's running timecode
    static const TextStyle timecode;     // an entry row's timecode
};

inline constexpr TextStyle TextStyle::screenTitle = bundled("DMSans-Bold", 30);
inline constexpr TextStyle TextStyle::cardTitle = bundled("DMSans-Bold", 22);
inline constexpr TextStyle TextStyle::paneTitle = bundled("DMSans-Bold", 20);
inline constexpr TextStyle TextStyle::sheetTitle = bundled("DMSans-Bold", 18);
inline constexpr TextStyle TextStyle::caption = bundled("DMSans-Bold", 10, 1.2);
inline constexpr TextStyle TextStyle::columnHead = bundled("DMSans-Bold", 9, 1.0);
inline constexpr TextStyle TextStyle::field = bundled("DMSans-Regular", 16);
inline constexpr TextStyle TextStyle::transcript = bundled("DMSans-Regular", 15);
inline constexpr TextStyle TextStyle::bodyLarge = bundled("DMSans-Regular", 14);
inline constexpr TextStyle TextStyle::body = bundled("DMSans-Regular", 13);
inline constexpr TextStyle TextStyle::detail = bundled("DMSans-Regular", 12);
inline constexpr TextStyle TextStyle::note = bundled("DMSans-Regular", 11);
inline constexpr TextStyle TextStyle::fine = bundled("DMSans-Regular", 9);
inline constexpr TextStyle TextStyle::speaker = bundled("DMSans-Bold", 13);
inline constexpr TextStyle TextStyle::buttonTitle = bundled("DMSans-SemiBold", 15);
inline constexpr TextStyle TextStyle::pillTitle = bundled("DMSans-SemiBold", 13);
inline constexpr TextStyle TextStyle::chipTitle = bundled("DMSans-SemiBold", 11);
inline constexpr TextStyle TextStyle::wordChip = bundled("DMSans-SemiBold", 12);
inline constexpr TextStyle TextStyle::shortcut = bundled("DMSans-SemiBold", 10);
inline constexpr TextStyle TextStyle::badge = bundled("DMSans-Bold", 8, 0.6);
inline constexpr TextStyle TextStyle::scanBadge = bundled("DMSans-Bold", 7, 0.4);
inline constexpr TextStyle TextStyle::link = system(13);
inline constexpr TextStyle TextStyle::pillSymbol = system(12, QFont::DemiBold);
inline constexpr TextStyle TextStyle::chipSymbol = system(8, QFont::Bold);
inline constexpr TextStyle TextStyle::codeField = system(24, QFont::DemiBold, true);
inline constexpr TextStyle TextStyle::liveTimecode = system(30, QFont::DemiBold, true);
inline constexpr TextStyle TextStyle::timecode = system(12, QFont::Medium, true);
