#include "firmwareinfo.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class FirmwareInfoTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString writeFile(const QByteArray &content)
    {
        static int counter = 0;
        const QString path = dir.filePath(QStringLiteral("fw%1.bin").arg(++counter));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return path;
    }

private slots:
    void parsesVersionPieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addRow("four groups") << "1.2.3.4"
                                     << "1.2.3.4";
        QTest::addRow("two groups padded with zeros") << "1.2"
                                                      << "1.2.0.0";
        QTest::addRow("hexadecimal group") << "1.0A"
                                           << "1.10.0.0";
        QTest::addRow("10 read as hexadecimal") << "2.10"
                                                << "2.16.0.0";
        QTest::addRow("five groups do not match") << "1.2.3.4.5"
                                                  << "";
        QTest::addRow("empty text") << ""
                                    << "";
        QTest::addRow("any character between second and third group") << "1.2,3.4"
                                                                      << "1.2.3.4";
        QTest::addRow("letters belong to the greedy group") << "1.2x3.4"
                                                            << "1.0.4.0";
        QTest::addRow("lower-case hexadecimal upper-cased") << "a.b.c.d"
                                                            << "10.11.12.13";
        QTest::addRow("group that is no hexadecimal number is 0") << "1.G.3.4"
                                                                  << "1.0.3.4";
        QTest::addRow("trailing blank does not match") << "1.2.3.4 "
                                                       << "";
        QTest::addRow("trailing zero segments kept") << "0.0.0.0"
                                                     << "0.0.0.0";
    }
    void parsesVersionPieces()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QVersionNumber version = parseFirmwareVersion(text);
        QCOMPARE(version.toString(), expected);
        QVERIFY(version.segmentCount() == 0 || version.segmentCount() == 4);
    }

    void readsTags_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("hardwareId");
        QTest::addColumn<QString>("version");
        const QByteArray end("\x0a\x0d");
        QTest::addRow("hardware and version")
            << "xxVer:12-1.2.3.4" + end + "yy" << true << 12 << "1.2.3.4";
        QTest::addRow("middle pieces ignored") << "Ver:12-X-0.9" + end << true << 12 << "0.9.0.0";
        QTest::addRow("no dash: one piece for both")
            << "Ver:1.2.3.4" + end << true << 0 << "1.2.3.4";
        QTest::addRow("empty version piece") << "Ver:7-" + end << true << 7 << "";
        QTest::addRow("carriage return first is no terminator")
            << QByteArray("Ver:12-1.2.3.4\x0d\x0a tail") << false << 0 << "";
        QTest::addRow("terminator before the marker does not count")
            << "a" + end + "Ver:3-1.0.0.1" << false << 0 << "";
        QTest::addRow("no marker") << QByteArray("ver:3-1.0.0.1\x0a\x0d") << false << 0 << "";
        QTest::addRow("two tags: the first counts")
            << "Ver:3-1.0.0.1" + end + "Ver:4-2.0.0.0" + end << true << 3 << "1.0.0.1";
        QTest::addRow("tag at the very start and end of the file")
            << "Ver:5-1.1.1.1" + end << true << 5 << "1.1.1.1";
        QTest::addRow("decoding stops at a zero byte")
            << "Ver:6-1.2.3.4" + QByteArray(1, '\0') + "-9.9.9.9" + end << true << 6 << "1.2.3.4";
        QTest::addRow("hardware id not a number")
            << "Ver:abc-1.0.0.1" + end << true << 0 << "1.0.0.1";
        QTest::addRow("empty file") << QByteArray() << false << 0 << "";
    }
    void readsTags()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, found);
        QFETCH(int, hardwareId);
        QFETCH(QString, version);
        const QString path = writeFile(content);
        QVERIFY(!path.isEmpty());
        const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(path);
        QCOMPARE(bool(info), found);
        if (info) {
            QCOMPARE(info->hardwareId, hardwareId);
            QCOMPARE(info->version.toString(), version);
        }
    }

    // The scanner reads in 256 KiB chunks; the marker and the terminator may straddle them.
    void findsTagsAcrossChunkBoundaries_data()
    {
        QTest::addColumn<int>("offset");
        const int chunk = 256 * 1024;
        for (int shift = -14; shift <= 1; ++shift)
            QTest::addRow("tag starting at chunk %+d", shift) << chunk + shift;
        QTest::addRow("tag starting in the third chunk") << 2 * chunk - 2;
        QTest::addRow("tag ending exactly at the file's end") << 3 * chunk - 15;
    }
    void findsTagsAcrossChunkBoundaries()
    {
        QFETCH(int, offset);
        QByteArray content(offset, 'V');
        content += "Ver:9-1.2.3.4\x0a\x0d";
        content += QByteArray(3 * 256 * 1024 - content.size(), 'e');
        const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(writeFile(content));
        QVERIFY(info);
        QCOMPARE(info->hardwareId, 9);
        QCOMPARE(info->version.toString(), QStringLiteral("1.2.3.4"));
    }

    void unopenableFileWarnsOnce()
    {
        const QString path = dir.filePath(QStringLiteral("missing.bin"));
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(QStringLiteral("Can not open file  \"%1\" \"No such file or directory\"")
                           .arg(path)));
        QVERIFY(!readFirmwareInfo(path));
    }

    void readErrorEndsTheScan()
    {
        // Reading /proc/self/mem at offset 0 fails with EIO: a device that breaks mid-scan.
        QFile mem(QStringLiteral("/proc/self/mem"));
        if (!mem.open(QIODevice::ReadOnly))
            QSKIP("/proc/self/mem cannot be opened here");
        QByteArray tag;
        QVERIFY(!scanVersionTag(mem, &tag));
    }

    void unterminatedTagGivesUpInBoundedMemory()
    {
        // A marker followed by endless bytes without a terminator: no record, no unbounded
        // buffer. The scan stops a little past a mebibyte, so most of the input stays unread.
        QByteArray content = "Ver:1-" + QByteArray(8 * 1024 * 1024, '1');
        QBuffer buffer(&content);
        buffer.open(QIODevice::ReadOnly);
        QByteArray tag;
        QVERIFY(!scanVersionTag(buffer, &tag));
        QVERIFY(buffer.pos() < 2 * 1024 * 1024);
    }

    void scansFilesBeyondFourGibibytes()
    {
        // A sparse file: more than 4 GiB of holes with the tag after them.
        const QString path = dir.filePath(QStringLiteral("huge.bin"));
        const qint64 offset = 4097LL * 1024 * 1024;
        const QByteArray tag = "Ver:8-2.0.0.1\x0a\x0d";
        const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0);
        const bool written
            = ::pwrite(fd, tag.constData(), size_t(tag.size()), offset) == tag.size();
        ::close(fd);
        if (!written)
            QSKIP("this file system cannot hold a sparse file beyond 4 GiB");
        const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(path);
        QFile::remove(path);
        QVERIFY(info);
        QCOMPARE(info->hardwareId, 8);
        QCOMPARE(info->version.toString(), QStringLiteral("2.0.0.1"));
    }
};

QTEST_GUILESS_MAIN(FirmwareInfoTest)
#include "tst_firmwareinfo.moc"
