#pragma once

#include <QString>

// A channel scan's verdict on one channel.
struct ScanKind {
    enum class Kind {
        // The same signal as another channel (`copyOf`).
        Copy,
        Speech,
        Quiet,
        Silent,
        Timecode,
    };

    Kind kind = Kind::Quiet;
    // The channel index this one copies; meaningful for Copy only.
    int copyOf = -1;

    [[nodiscard]] static ScanKind copy(int of) { return {Kind::Copy, of}; }
    [[nodiscard]] static ScanKind speech() { return {Kind::Speech, -1}; }
    [[nodiscard]] static ScanKind quiet() { return {Kind::Quiet, -1}; }
    [[nodiscard]] static ScanKind silent() { return {Kind::Silent, -1}; }
    [[nodiscard]] static ScanKind timecode() { return {Kind::Timecode, -1}; }

    // "SPEECH", "QUIET", "SILENT", "TIMECODE", or "COPY OF " + the other channel's one-based number.
    [[nodiscard]] QString description() const;

    friend bool operator==(const ScanKind& a, const ScanKind& b)
    {
        return a.kind == b.kind && (a.kind != Kind::Copy || a.copyOf == b.copyOf);
    }
};
