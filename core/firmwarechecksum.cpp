#include "firmwarechecksum.h"

#include <QString>

bool checksumMatches(const QByteArray &digest, const QByteArray &expected)
{
    const QString actual = QString::fromLatin1(digest.toHex());
    const QString text = QString::fromUtf8(
        expected.constData(), int(qstrnlen(expected.constData(), uint(expected.size()))));
    return actual.compare(text, Qt::CaseInsensitive) == 0;
}
