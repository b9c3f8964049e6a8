// The checksum list reader and the comparison the firmware check makes with its result, on
// arbitrary files.
#include "firmwarechecksum.h"
#include "productresource.h"
#include "scratchfile.h"

#include <QCryptographicHash>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));
    const QByteArray expected = ProductResource::readFirmwareMd5(writeScratchFile(data, size));

    // The stored text is the whole file after its last space.
    FUZZ_CHECK(!expected.contains(' '));
    FUZZ_CHECK(file.endsWith(expected));
    if (expected.size() < file.size())
        FUZZ_CHECK(file.at(file.size() - expected.size() - 1) == ' ');

    const QByteArray digest = QCryptographicHash::hash(file, QCryptographicHash::Md5);
    const QByteArray hex = digest.toHex();
    FUZZ_CHECK(checksumMatches(digest, hex));
    FUZZ_CHECK(checksumMatches(digest, hex.toUpper()));
    FUZZ_CHECK(!checksumMatches(digest, "name " + hex));
    FUZZ_CHECK(!checksumMatches(digest, hex + '\n'));
    // Text after a zero byte is not part of the checksum.
    FUZZ_CHECK(checksumMatches(digest, hex + '\0' + file));
    // A file's own text names its digest only when it is that digest, in any letter case.
    const int zero = expected.indexOf('\0');
    const QByteArray text = zero < 0 ? expected : expected.left(zero);
    FUZZ_CHECK(checksumMatches(digest, expected) == (text.toLower() == hex));
    return 0;
}
