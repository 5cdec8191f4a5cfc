#pragma once

#include "platform/Appearance.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// One of the fixed marker kinds a button can stand for. `kind` is the id stored in a log entry's
// type and sent to the service; `label` is the button's default name.
struct LogButtonKind {
    QString kind;
    QString label;
    QString blurb;
    quint32 hex = 0; // 0xRRGGBB

    // The fourteen kinds, in table order.
    [[nodiscard]] static const QList<LogButtonKind>& all();
    [[nodiscard]] static std::optional<LogButtonKind> lookup(QStringView kind);

    // Note's table colour is near-white and unreadable on a light background, so Note is drawn
    // in the palette's muted colour instead; the theme's test checks the two agree.
    static constexpr AdaptiveColor noteColor{0x9A9388, 0x6F6A60};
    // The earmark coral, used for any id the table does not know.
    static constexpr quint32 unknownHex = 0xFF5C4D;

    [[nodiscard]] static AdaptiveColor color(QStringView kind);

    // A kind id shown as a name when nothing better is known: each word (split at white space)
    // starts upper case and goes on lower case, so "turning_point" reads "Turning_point".
    [[nodiscard]] static QString capitalized(QStringView id);

    friend bool operator==(const LogButtonKind&, const LogButtonKind&) = default;
};
