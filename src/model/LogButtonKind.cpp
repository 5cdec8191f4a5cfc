#include "model/LogButtonKind.h"

const QList<LogButtonKind>& LogButtonKind::all()
{
    static const QList<LogButtonKind> table{
        {QStringLiteral("earmark"), QStringLiteral("Earmark"), QStringLiteral("Flags this exact moment."),
         0xFF5C4D},
        {QStringLiteral("great"), QStringLiteral("Great"),
         QStringLiteral("Keeps the last few seconds that just worked."), 0x3FAE6B},
        {QStringLiteral("cutaway"), QStringLiteral("Highlight"),
         QStringLiteral("Highlights the words that were just said."), 0xEEB41B},
        {QStringLiteral("note"), QStringLiteral("Note"), QStringLiteral("A marker you type words onto."), 0xF2F2EF},
        {QStringLiteral("soundbite"), QStringLiteral("Soundbite"), QStringLiteral("Saves the line that was just said."),
         0x6366F1},
        {QStringLiteral("broll"), QStringLiteral("In / Out"), QStringLiteral("Tap to mark in, tap again to mark out."),
         0x2BB6C4},
        {QStringLiteral("funny"), QStringLiteral("Funny"), QStringLiteral("Marks a laugh worth keeping."), 0xE040FB},
        {QStringLiteral("cut"), QStringLiteral("Don't use"), QStringLiteral("Flags a moment to skip in the edit."),
         0xC2185B},
        {QStringLiteral("turning_point"), QStringLiteral("Turning point"),
         QStringLiteral("Pins the line where the story turns."), 0xF97316},
        {QStringLiteral("sad"), QStringLiteral("Sad"), QStringLiteral("Pins an emotional moment."), 0x5B8DEF},
        {QStringLiteral("testimonial"), QStringLiteral("Testimonial"),
         QStringLiteral("Pins praise in the speaker's own words."), 0x14B8A6},
        {QStringLiteral("proof_point"), QStringLiteral("Proof point"),
         QStringLiteral("Pins a fact or result worth showing."), 0x84CC16},
        {QStringLiteral("clip"), QStringLiteral("Clip"), QStringLiteral("Pins a line for a short social clip."),
         0xEC4899},
        {QStringLiteral("reaction"), QStringLiteral("Reaction"), QStringLiteral("Pins a real reaction."), 0xA78BFA},
    };
    return table;
}

std::optional<LogButtonKind> LogButtonKind::lookup(QStringView kind)
{
    for (const LogButtonKind& row : all()) {
        if (row.kind == kind)
            return row;
    }
    return std::nullopt;
}

AdaptiveColor LogButtonKind::color(QStringView kind)
{
    if (kind == u"note")
        return noteColor;
    if (const auto row = lookup(kind))
        return AdaptiveColor{row->hex, row->hex};
    return AdaptiveColor{unknownHex, unknownHex};
}

QString LogButtonKind::capitalized(QStringView id)
{
    QString out;
    out.reserve(id.size());
    bool wordStart = true;
    for (const QChar c : id) {
        if (c.isSpace()) {
            out.append(c);
            wordStart = true;
            continue;
        }
        out.append(wordStart ? c.toUpper() : c.toLower());
        wordStart = false;
    }
    return out;
}
