#include "platform/JsonRead.h"

#include <cmath>
#include <limits>

namespace JsonRead {

bool read(const QJsonValue& v, QString& out)
{
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

bool read(const QJsonValue& v, bool& out)
{
    if (!v.isBool())
        return false;
    out = v.toBool();
    return true;
}

bool read(const QJsonValue& v, double& out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return false;
    out = d;
    return true;
}

bool read(const QJsonValue& v, qint64& out)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return false;
    // Qt keeps whole JSON numbers as exact 64-bit integers; going through a double would lose
    // everything above 2^53. Two different defaults expose a value that is not such an integer.
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b)
        return false;
    out = a;
    return true;
}

bool read(const QJsonValue& v, int& out)
{
    qint64 wide = 0;
    if (!read(v, wide) || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(wide);
    return true;
}

bool read(const QJsonValue& v, Date& out)
{
    double seconds = 0;
    if (!read(v, seconds))
        return false;
    out = Date{seconds};
    return true;
}

bool read(const QJsonValue& v, QUuid& out)
{
    if (!v.isString())
        return false;
    const QString text = v.toString();
    // Only the plain 36-character form; braces or other shapes are not a saved UUID.
    if (text.size() != 36)
        return false;
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull() && text != QLatin1String("00000000-0000-0000-0000-000000000000"))
        return false;
    out = uuid;
    return true;
}

bool read(const QJsonValue& v, QStringList& out)
{
    if (!v.isArray())
        return false;
    const QJsonArray array = v.toArray();
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return false;
        list.append(element.toString());
    }
    out = std::move(list);
    return true;
}

} // namespace JsonRead
