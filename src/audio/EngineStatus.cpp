#include "audio/EngineStatus.h"

namespace {

QString orFallback(const QString& name, const QString& fallback)
{
    return name.isEmpty() ? fallback : name;
}

} // namespace

QString EngineStatus::text() const
{
    switch (kind) {
    case Kind::Off:
        return QStringLiteral("Off");
    case Kind::Starting:
        return QStringLiteral("Starting…");
    case Kind::Listening:
        return QStringLiteral("Listening…");
    case Kind::NoInput:
        return QStringLiteral("No microphone input found");
    case Kind::CouldNotOpen:
        return QStringLiteral("Couldn't open ") + orFallback(device, QStringLiteral("the microphone"));
    case Kind::CouldNotStart:
        return QStringLiteral("Couldn't start audio from ") + orFallback(device, QStringLiteral("the microphone"));
    case Kind::FewerChannels:
        // One multi-argument arg(): the name is never scanned for markers again.
        return QStringLiteral("%1 is giving %2 of %3 channels")
            .arg(orFallback(device, QStringLiteral("The device")), QString::number(delivered),
                 QString::number(configured));
    case Kind::EveryChannelOff:
        return QStringLiteral("Every channel is off. Unmute one to transcribe.");
    case Kind::ScanCouldNotOpen:
        return QStringLiteral("Couldn't open the input to scan it.");
    case Kind::StreamProblem:
        return detail;
    case Kind::Refused:
        return QStringLiteral("Pindle refused transcription (") + detail + QStringLiteral(").");
    case Kind::Lost: {
        const QString why = detail.trimmed();
        QString text = QStringLiteral("Lost ") + orFallback(device, QStringLiteral("The input"));
        text += why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why;
        if (loggingStopped) {
            text += QStringLiteral(" Logging stopped.");
        }
        return text;
    }
    }
    return QString();
}
