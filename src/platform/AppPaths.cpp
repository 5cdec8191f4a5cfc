#include "platform/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace AppPaths {

QString appSupportFolder()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/PindleSync/");
    QDir().mkpath(folder);
    return folder;
}

QString defaultsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/defaults.json");
}

} // namespace AppPaths
