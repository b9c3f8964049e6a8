#include "childrun.h"
#include "coresignallog.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"
#include "treesnapshot.h"
#include "updatefixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

// Volumes built to hurt: what firmware.bin is, or what takes its place at the worst moment.
// Every case runs in a child process with a deadline, so a blocking open fails instead of
// hanging, and the child's peak memory is measured against what the volume offers.
class TestHostileVolumes : public QObject
{
    Q_OBJECT
private slots:
    void checkRefusesWhatIsNoFirmwareFile_data();
    void checkRefusesWhatIsNoFirmwareFile();
    void readersRefuseEntriesSwappedInAfterTheStat_data();
    void readersRefuseEntriesSwappedInAfterTheStat();
    void updateRefusesWhatTakesTheOldFilesPlace_data();
    void updateRefusesWhatTakesTheOldFilesPlace();
};

namespace {
constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;
// Far above the readers' fixed buffers, far below any of the large inputs.
constexpr qint64 memoryBound = 64 * MiB;

enum Entry {
    SparseUntagged,
    SparseUnterminatedTag,
    Folder,
    Fifo,
    CharDevice,
    LinkToOutsideFile,
    LinkToOutsideFifo,
    DanglingLink
};

// A volume folder beside a folder of files that must stay as they are. The outside firmware is
// tagged so that following a link to it would pass the check and compare equal.
struct Scene
{
    QTemporaryDir root;
    QString volume = root.filePath(QStringLiteral("volume"));
    QString devicePath = volume + QStringLiteral("/firmware.bin");
    QString outside = root.filePath(QStringLiteral("outside"));
    QString precious = outside + QStringLiteral("/precious.bin");
    QString pipe = outside + QStringLiteral("/pipe");
    QString missing = outside + QStringLiteral("/missing.bin");
    QString reference = root.filePath(QStringLiteral("reference.bin"));
    QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", 16 * 1024);

    bool build()
    {
        return root.isValid() && QDir().mkdir(volume) && QDir().mkdir(outside)
            && UpdateFixture::writeFile(precious, oldImage)
            && UpdateFixture::writeFile(reference, oldImage)
            && UpdateFixture::writeFile(outside + QStringLiteral("/notes.txt"), "keep me")
            && ::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0;
    }
    QStringList outsideState() const { return treeSnapshot(root.path(), volume); }
    // Empty when the entry was made; else why it cannot be made here.
    QString make(int entry, const QString &path) const
    {
        const QByteArray native = QFile::encodeName(path);
        switch (entry) {
        case SparseUntagged:
        case SparseUnterminatedTag: {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return file.errorString();
            if (entry == SparseUnterminatedTag)
                file.write("Ver:3-1.0.0.1");
            if (!file.resize(3 * GiB))
                return file.errorString();
            struct stat st;
            if (::stat(native.constData(), &st) != 0 || qint64(st.st_blocks) * 512 > 16 * MiB)
                return QStringLiteral("this file system does not keep files sparse");
            return QString();
        }
        case Folder:
            return QDir().mkdir(path) ? QString() : QStringLiteral("mkdir failed");
        case Fifo:
            return ::mkfifo(native.constData(), 0644) == 0 ? QString()
                                                           : QStringLiteral("mkfifo failed");
        case CharDevice:
            // The same device as /dev/zero: a read that never ends.
            return ::mknod(native.constData(), S_IFCHR | 0644, makedev(1, 5)) == 0
                ? QString()
                : QStringLiteral("no device nodes here (needs root)");
        case LinkToOutsideFile:
            return QFile::link(precious, path) ? QString() : QStringLiteral("no links");
        case LinkToOutsideFifo:
            return QFile::link(pipe, path) ? QString() : QStringLiteral("no links");
        case DanglingLink:
            return QFile::link(missing, path) ? QString() : QStringLiteral("no links");
        }
        return QStringLiteral("unknown entry");
    }
};
} // namespace

void TestHostileVolumes::checkRefusesWhatIsNoFirmwareFile_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("deadlineMs");

    QTest::addRow("3 GiB sparse file without a tag") << int(SparseUntagged) << 50000;
    QTest::addRow("3 GiB sparse file whose tag never ends") << int(SparseUnterminatedTag) << 20000;
    QTest::addRow("folder") << int(Folder) << 10000;
    QTest::addRow("FIFO without a writer") << int(Fifo) << 10000;
    QTest::addRow("device that reads zeros forever") << int(CharDevice) << 10000;
    QTest::addRow("link to a tagged file outside") << int(LinkToOutsideFile) << 10000;
    QTest::addRow("link to a FIFO outside") << int(LinkToOutsideFifo) << 10000;
    QTest::addRow("link to nothing outside") << int(DanglingLink) << 10000;
}

void TestHostileVolumes::checkRefusesWhatIsNoFirmwareFile()
{
    QFETCH(int, entry);
    QFETCH(int, deadlineMs);

    Scene scene;
    QVERIFY(scene.build());
    const QString why = scene.make(entry, scene.devicePath);
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    const QStringList outsideBefore = scene.outsideState();
    const QStringList volumeBefore = treeSnapshot(scene.volume, QString(), false);

    UpdateFixture fixture;
    fixture.package.setFirmware(TestPackage::firmware("3-1.0.0.2"));
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    QVERIFY2(fixture.found(scene.volume + QLatin1Char('/')), qPrintable(fixture.error));

    const ChildOutcome outcome = runInChild(
        [&] {
            CoreSignalLog log(fixture.core.get());
            fixture.core->checkFirmware();
            return log.events.join(QLatin1Char('\n')).toUtf8();
        },
        deadlineMs);

    QVERIFY2(outcome.finished, qPrintable(outcome.failure));
    QCOMPARE(QString::fromUtf8(outcome.output),
        QStringLiteral("firmwareChecked(false)\nerrorCodeChanged(CheckFirmwareError)"));
    QVERIFY2(outcome.peakRiseBytes >= 0 && outcome.peakRiseBytes < memoryBound,
        qPrintable(QStringLiteral("peak memory rose by %1 bytes").arg(outcome.peakRiseBytes)));
    QCOMPARE(scene.outsideState(), outsideBefore);
    QCOMPARE(treeSnapshot(scene.volume, QString(), false), volumeBefore);
}

void TestHostileVolumes::readersRefuseEntriesSwappedInAfterTheStat_data()
{
    // What the readers find when firmware.bin was swapped after the caller saw a regular file:
    // nothing may block, never end, or be followed out of the volume.
    QTest::addColumn<int>("entry");

    QTest::addRow("FIFO without a writer") << int(Fifo);
    QTest::addRow("device that reads zeros forever") << int(CharDevice);
    QTest::addRow("link to a tagged file outside") << int(LinkToOutsideFile);
    QTest::addRow("link to a FIFO outside") << int(LinkToOutsideFifo);
}

void TestHostileVolumes::readersRefuseEntriesSwappedInAfterTheStat()
{
    QFETCH(int, entry);

    Scene scene;
    QVERIFY(scene.build());
    const QString why = scene.make(entry, scene.devicePath);
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    const QStringList outsideBefore = scene.outsideState();

    const ChildOutcome outcome = runInChild(
        [&] {
            QByteArray answers;
            answers += readFirmwareInfo(scene.devicePath) ? "record " : "null ";
            answers += filesEqual(scene.devicePath, scene.reference) ? "equal " : "unequal ";
            answers += filesEqual(scene.reference, scene.devicePath) ? "equal" : "unequal";
            return answers;
        },
        5000);

    QVERIFY2(outcome.finished, qPrintable(outcome.failure));
    QCOMPARE(outcome.output, QByteArray("null unequal unequal"));
    QCOMPARE(scene.outsideState(), outsideBefore);
}

void TestHostileVolumes::updateRefusesWhatTakesTheOldFilesPlace_data()
{
    QTest::addColumn<int>("entry");
    // After the check and before the update, or after the delete and before the new write.
    QTest::addColumn<bool>("afterRemove");

    QTest::addRow("firmware.bin vanishes after the check") << -1 << false;
    QTest::addRow("replaced by a link to a file outside after the check")
        << int(LinkToOutsideFile) << false;
    QTest::addRow("link to a file outside appears after the delete")
        << int(LinkToOutsideFile) << true;
    QTest::addRow("link to nothing outside appears after the delete") << int(DanglingLink) << true;
    QTest::addRow("link to a FIFO outside appears after the delete")
        << int(LinkToOutsideFifo) << true;
    QTest::addRow("FIFO appears after the delete") << int(Fifo) << true;
    QTest::addRow("folder appears after the delete") << int(Folder) << true;
}

void TestHostileVolumes::updateRefusesWhatTakesTheOldFilesPlace()
{
    QFETCH(int, entry);
    QFETCH(bool, afterRemove);

    Scene scene;
    QVERIFY(scene.build());
    QVERIFY(UpdateFixture::writeFile(scene.devicePath, scene.oldImage));
    const QStringList outsideBefore = scene.outsideState();

    UpdateFixture fixture;
    fixture.package.setFirmware(TestPackage::firmware("3-1.0.0.2", int(3 * MiB)));
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    QVERIFY2(fixture.found(scene.volume + QLatin1Char('/')), qPrintable(fixture.error));

    const ChildOutcome outcome = runInChild(
        [&] {
            QStringList lines;
            const auto swap = [&] {
                QFile::remove(scene.devicePath);
                const QString why = entry < 0 ? QString() : scene.make(entry, scene.devicePath);
                if (!why.isEmpty())
                    lines << QStringLiteral("cannot make the entry: ") + why;
            };
            CoreSignalLog log(fixture.core.get());
            fixture.core->checkFirmware();
            if (afterRemove)
                firmwareFileHooks().afterRemove = swap;
            else
                swap();
            fixture.core->updateFirmware();
            int active = 0;
            for (const QTimer *timer : fixture.core->findChildren<QTimer *>())
                active += timer->isActive() ? 1 : 0;
            lines << log.events << QStringLiteral("active timers %1").arg(active);
            return lines.join(QLatin1Char('\n')).toUtf8();
        },
        20000);

    QVERIFY2(outcome.finished, qPrintable(outcome.failure));
    const QStringList expected { QStringLiteral("previousFirmwareVersionChanged(1.0.0.1)"),
        QStringLiteral("firmwareChecked(true)"), QStringLiteral("firmwareUpdated(false)"),
        QStringLiteral("errorCodeChanged(UpdateFirmwareError)"),
        QStringLiteral("active timers 0") };
    QCOMPARE(QString::fromUtf8(outcome.output).split(QLatin1Char('\n')), expected);
    QCOMPARE(scene.outsideState(), outsideBefore);
    QVERIFY(!QFileInfo::exists(scene.missing));
}

QTEST_GUILESS_MAIN(TestHostileVolumes)
#include "tst_hostilevolumes.moc"
