#include "device.h"
#include "devicedetector.h"
#include "idetector.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Stands in for the platform: the test decides when it recognises the volume.
class FakeDetector : public QObject, public IDetector
{
    Q_OBJECT
    Q_INTERFACES(IDetector)
public:
    explicit FakeDetector(Callback callback)
        : IDetector(std::move(callback))
    {
    }
    void start(const QString &vid, const QString &pid, const QString &productString) override
    {
        started = QStringList { vid, pid, productString };
    }
    QString mountPath() const override { return path; }
    void recognise(const QString &mountPath)
    {
        path = mountPath;
        detectedCallback();
    }

    QStringList started;
    QString path;
};

struct Armed
{
    QPointer<FakeDetector> fake;
    std::unique_ptr<DeviceDetector> detector;
};

Armed makeDetector()
{
    Armed armed;
    armed.detector = std::make_unique<DeviceDetector>([&armed](std::function<void()> callback) {
        auto fake = std::make_unique<FakeDetector>(std::move(callback));
        armed.fake = fake.get();
        return std::unique_ptr<IDetector>(std::move(fake));
    });
    return armed;
}
} // namespace

class DeviceDetectorTest : public QObject
{
    Q_OBJECT

private slots:
    void neverStartedEmitsNothing()
    {
        DeviceDetector detector;
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        QCoreApplication::processEvents();
        QCOMPARE(detected.count(), 0);
        QCOMPARE(DeviceDetector::staticMetaObject.methodCount()
                - DeviceDetector::staticMetaObject.methodOffset(),
            1);
        QCOMPARE(
            DeviceDetector::staticMetaObject.method(DeviceDetector::staticMetaObject.methodOffset())
                .methodSignature(),
            QByteArray("detected(QString)"));
    }

    void startForwardsTheIdentifiersUnchanged()
    {
        Armed armed = makeDetector();
        QVERIFY(armed.fake);
        QVERIFY(armed.fake->started.isEmpty());
        armed.detector->start(
            QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QStringLiteral("Drive Update"));
        QCOMPARE(armed.fake->started,
            QStringList({ QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"),
                QStringLiteral("Drive Update") }));
    }

    void detectedCarriesTheMountPathOfTheMoment()
    {
        Armed armed = makeDetector();
        QSignalSpy detected(armed.detector.get(), &DeviceDetector::detected);
        armed.fake->recognise(QStringLiteral("E:/"));
        armed.fake->recognise(QStringLiteral("/media/u/TARSEL/"));
        QCOMPARE(detected.count(), 2);
        QCOMPARE(detected.at(0).at(0).toString(), QStringLiteral("E:/"));
        QCOMPARE(detected.at(1).at(0).toString(), QStringLiteral("/media/u/TARSEL/"));
    }

    void deletingTheDetectorDeletesThePlatformDetector()
    {
        Armed armed = makeDetector();
        QVERIFY(armed.fake);
        QCOMPARE(
            qobject_cast<IDetector *>(armed.fake.data()), static_cast<IDetector *>(armed.fake));
        armed.detector.reset();
        QVERIFY(!armed.fake);
    }

    void isEmptyOnlyForAnEmptyPath()
    {
        QVERIFY(Device(QString()).isEmpty());
        QVERIFY(!Device(QStringLiteral("E:/")).isEmpty());
        QCOMPARE(Device(QStringLiteral("E:/")).mountPath(), QStringLiteral("E:/"));
    }

    void firmwareFilePathStaysOnTheVolume_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("found");
        QTest::addRow("regular file") << "file" << true;
        QTest::addRow("absent") << "none" << false;
        QTest::addRow("link to a file outside the volume") << "outside-link" << false;
        QTest::addRow("link to the volume's own file") << "inside-link" << false;
        QTest::addRow("directory of that name") << "directory" << false;
        QTest::addRow("dangling link") << "dangling" << false;
    }
    void firmwareFilePathStaysOnTheVolume()
    {
        QFETCH(QString, layout);
        QFETCH(bool, found);
        QTemporaryDir root;
        const QString volume = root.filePath(QStringLiteral("volume"));
        const QString outside = root.filePath(QStringLiteral("outside.bin"));
        QVERIFY(QDir().mkpath(volume));
        QFile(outside).open(QIODevice::WriteOnly);
        const QString target = volume + QStringLiteral("/firmware.bin");
        if (layout == QLatin1String("file"))
            QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        else if (layout == QLatin1String("outside-link"))
            QVERIFY(QFile::link(outside, target));
        else if (layout == QLatin1String("inside-link")) {
            QVERIFY(QFile(volume + QStringLiteral("/real.bin")).open(QIODevice::WriteOnly));
            QVERIFY(QFile::link(volume + QStringLiteral("/real.bin"), target));
        } else if (layout == QLatin1String("directory"))
            QVERIFY(QDir().mkpath(target));
        else if (layout == QLatin1String("dangling"))
            QVERIFY(QFile::link(root.filePath(QStringLiteral("gone")), target));

        // The mount path carries its trailing slash, as the detectors report it.
        const QString path = Device(volume + QLatin1Char('/')).firmwareFilePath();
        QCOMPARE(path, found ? QDir(target).canonicalPath() : QString());
        if (found)
            QCOMPARE(path, QDir(volume).canonicalPath() + QStringLiteral("/firmware.bin"));
    }

    void firmwareFilePathUnderALinkedMountPoint()
    {
        // A mount point reached through a link (/media -> /run/media) still counts as the volume.
        QTemporaryDir root;
        const QString real = root.filePath(QStringLiteral("real"));
        QVERIFY(QDir().mkpath(real));
        QVERIFY(QFile(real + QStringLiteral("/firmware.bin")).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(real, root.filePath(QStringLiteral("alias"))));
        QCOMPARE(Device(root.filePath(QStringLiteral("alias/"))).firmwareFilePath(),
            QDir(real).canonicalPath() + QStringLiteral("/firmware.bin"));
    }
};

QTEST_GUILESS_MAIN(DeviceDetectorTest)
#include "tst_devicedetector.moc"
