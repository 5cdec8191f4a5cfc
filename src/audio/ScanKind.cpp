#include "audio/ScanKind.h"

QString ScanKind::description() const
{
    switch (kind) {
    case Kind::Copy:
        return QStringLiteral("COPY OF %1").arg(qint64(copyOf) + 1);
    case Kind::Speech:
        return QStringLiteral("SPEECH");
    case Kind::Quiet:
        return QStringLiteral("QUIET");
    case Kind::Silent:
        return QStringLiteral("SILENT");
    case Kind::Timecode:
        return QStringLiteral("TIMECODE");
    }
    return {};
}
