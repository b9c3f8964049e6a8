#include "firmwarechecksum.h"

#include "firmwareinfo.h"

#include <QString>

bool checksumMatches(const QByteArray &digest, const QByteArray &expected)
{
    const QString actual = QString::fromLatin1(digest.toHex());
    const QString text = decodeUpToZero(expected);
    return actual.compare(text, Qt::CaseInsensitive) == 0;
}
