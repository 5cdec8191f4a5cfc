#include "RandomIds.h"

#include <QByteArray>
#include <QRandomGenerator>

namespace standin {

QString randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& byte : raw)
        byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

QString randomDigits(int count)
{
    QString digits;
    digits.reserve(count);
    for (int i = 0; i < count; ++i)
        digits.append(QChar(u'0' + QRandomGenerator::system()->bounded(10)));
    return digits;
}

} // namespace standin
