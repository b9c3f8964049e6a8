#pragma once

#include <QByteArray>

// True when the checksum text of firmware.md5 names this MD5 digest (raw bytes) the way the
// firmware check accepts it: decoded up to its first zero byte and equal to the lowercase
// hexadecimal digest, ignoring letter case, as a whole string.
bool checksumMatches(const QByteArray &digest, const QByteArray &expected);
