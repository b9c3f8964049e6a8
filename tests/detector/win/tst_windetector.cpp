// Built twice: elsewhere against the simulated Windows, which can plug in the product; on Windows
// itself (Wine in the tests) against the real system, with another program beside it.
#include "closeautoplaypopuptask.h"
#include "devicedetector.h"
#include "windetector.h"

#include <QtTest>

#include <windows.h>

#include <dbt.h>

#ifdef _WIN32
#include "finddiskletter.h"

#include <QWindow>

#include <initguid.h>

#include <ntddstor.h>
#include <winternl.h>
#else
#include "uncachedfile.h"
#include "winsim.h"

#include <QAbstractEventDispatcher>
#include <QThreadPool>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)
#endif

namespace {

// A volume arrival record of recordSize bytes, as its size field states.
QByteArray arrival(DWORD unitMask, DWORD type = DBT_DEVTYP_VOLUME, DWORD recordSize = 20)
{
    const DEV_BROADCAST_VOLUME volume = { recordSize, type, 0, unitMask, 0 };
    return QByteArray(reinterpret_cast<const char *>(&volume), int(recordSize));
}

#ifdef _WIN32
QString peerProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/winpeer.exe");
}

// The handles this process holds, from the system's table: GetProcessHandleCount is a stub on Wine.
int ownHandles()
{
    struct Entry
    {
        USHORT process, creatorBackTrace;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr auto systemHandleInformation = SYSTEM_INFORMATION_CLASS(16);
    QByteArray table(1 << 20, Qt::Uninitialized);
    ULONG size = 0;
    while (
        NtQuerySystemInformation(systemHandleInformation, table.data(), ULONG(table.size()), &size)
        == NTSTATUS(0xC0000004L)) // too small
        table.resize(table.size() * 2);
    const ULONG count = *reinterpret_cast<const ULONG *>(table.constData());
    const auto *entries = reinterpret_cast<const Entry *>(table.constData() + sizeof(void *));
    const auto self = USHORT(GetCurrentProcessId());
    return int(std::count_if(
        entries, entries + count, [self](const Entry &e) { return e.process == self; }));
}

// Another program showing windows, until asked how often each was sent WM_CLOSE.
class WindowPeer
{
public:
    WindowPeer(const QString &program, bool shell, const QStringList &titles)
    {
        process.start(program, QStringList { "window", shell ? "shell" : "other" } + titles);
        if (process.waitForReadyRead(30000))
            control = HWND(process.readLine().trimmed().toULongLong());
    }
    ~WindowPeer()
    {
        process.kill();
        process.waitForFinished();
    }
    bool isShowing() const { return control != nullptr; }
    QStringList closes()
    {
        PostMessageW(control, WM_APP, 0, 0);
        process.waitForFinished(30000);
        return QString::fromLatin1(process.readAll()).split(' ', Qt::SkipEmptyParts);
    }

private:
    QProcess process;
    HWND control = nullptr;
};
#else
const QString product = QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001");
const QByteArray windowsMsg = QByteArrayLiteral("windows_generic_MSG");
constexpr int mib = 1024 * 1024; // the file comparison's reads, and the uncached reader's blocks

void addVolume(char letter, std::optional<DWORD> number, UINT type = DRIVE_REMOVABLE)
{
    WinSim::machine.devices.append({ QStringLiteral("\\\\.\\%1:").arg(letter), number, 0, type });
}

// A USB stick as Windows shows it: the USB device, its disk as first child with an interface
// whose path outgrows a 1024-byte buffer, and a volume.
void plug(
    const QString &usbId, std::optional<DWORD> number, char letter, UINT type = DRIVE_REMOVABLE)
{
    const DEVINST disk = WinSim::addDevice("USBSTOR\\DISK", WinSim::addDevice(usbId));
    const QString path = QStringLiteral("\\\\?\\usbstor#disk#%1#").arg(number.value_or(0));
    WinSim::machine.devices.append({ path.leftJustified(700, 'x'), number, disk, 0 });
    addVolume(letter, number.value_or(0), type);
}

#endif

} // namespace

class TestWinDetector : public QObject
{
    Q_OBJECT
private slots:
#ifdef _WIN32
    void takesArrivalsSentByAnotherProcess_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("answer"); // 1: taken by the detector
        const DWORD e = 1u << ('E' - 'A');
        QTest::addRow("volume on E") << arrival(e) << 1;
        QTest::addRow("port") << arrival(e, DBT_DEVTYP_PORT) << 0;
        // Copied across as far as its size field says: the rest is not there to read.
        QTest::addRow("one byte of the mask") << arrival(e, DBT_DEVTYP_VOLUME, 13) << 0;
    }
    void takesArrivalsSentByAnotherProcess()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, answer);
        QWindow window; // a top-level window, which Windows' arrival broadcasts reach
        window.create();
        DeviceDetector detector([](std::function<void()> callback) {
            return std::make_unique<WinDetector>(std::move(callback));
        });
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        detector.start("0x1A2B", "0x3c4d", "Tarsel Updater");

        QProcess peer;
        peer.start(peerProgram(),
            { "arrival", QString::number(quintptr(window.winId())), record.toHex() });
        // The sender waits for the answer, which this thread gives while it processes events.
        QTRY_VERIFY_WITH_TIMEOUT(peer.state() == QProcess::NotRunning, 30000);
        QCOMPARE(peer.exitCode(), answer);
        // No USB device of the product here: looked up, and not found.
        QCOMPARE(detected.count(), 0);
    }

    void findsNoProductWithoutLeaking()
    {
        int before = 0;
        for (int i = 0; i <= 20; ++i) {
            // What the system keeps after the first call is not ours to count.
            if (i == 1)
                before = ownHandles();
            QVERIFY(findDiskLetter("0x1A2B", "0x3c4d").isNull());
            // Opens every fixed volume and every disk for its number.
            diskNumbersByDevInst(GUID_DEVINTERFACE_DISK);
            volumeLettersByDiskNumber(DRIVE_FIXED);
        }
        QVERIFY(before > 0);
        QCOMPARE(ownHandles(), before);
    }

    void closesOnlyTheShellsAutoPlayWindows_data()
    {
        QTest::addColumn<QString>("shell"); // the program of the desktop's window
        QTest::addColumn<QStringList>("titles"); // its windows', first on top; "!": stays open
        QTest::addColumn<QString>("closes"); // each is sent; +: again and again
        QTest::addColumn<QString>("other"); // another program; its "AutoPlay" is never closed
        const QString explorer = "explorer.exe", peer = "winpeer.exe";
        const auto row = [&](const char *name, QString shell, QStringList titles, QString closes,
                             QString other = "winpeer.exe") {
            QTest::addRow("%s", name) << shell << titles << closes << other;
        };
        row("pop-up of the desktop's explorer.exe", explorer, { "AutoPlay" }, "1");
        row("untitled and lower-case windows before it", explorer, { "", "autoplay", "AutoPlay" },
            "0 0 1");
        row("fragment ending at the 2047th character", explorer,
            { QString(2039, 'x') + "AutoPlay" }, "1");
        row("two pop-ups, one per pass", explorer, { "AutoPlay 1", "AutoPlay 2" }, "1 1");
        // Found again on every pass, past the three-second watch, but not for ever.
        row("pop-up ignoring WM_CLOSE", explorer, { "!AutoPlay" }, "+");
        row("a second explorer.exe's folder window", explorer, { "AutoPlay" }, "1", explorer);
        row("another program as the shell", peer, { "AutoPlay" }, "0");
    }
    void closesOnlyTheShellsAutoPlayWindows()
    {
        QFETCH(QString, shell);
        QFETCH(QStringList, titles);
        QFETCH(QString, closes);
        QFETCH(QString, other);
        QTemporaryDir folder;
        for (const QString &program : { "shell/" + shell, "other/" + other })
            QVERIFY(QDir(folder.path()).mkpath(program.section('/', 0, 0))
                && QFile::copy(peerProgram(), folder.filePath(program)));
        WindowPeer desktop(folder.filePath("shell/" + shell), true, titles);
        WindowPeer another(folder.filePath("other/" + other), false, { "AutoPlay" });
        QVERIFY(desktop.isShowing() && another.isShowing());

        CloseAutoPlayPopUpTask().run();

        const QStringList sent = desktop.closes(), expected = closes.split(' ');
        QCOMPARE(sent.size(), expected.size());
        for (int i = 0; i < sent.size(); ++i)
            QVERIFY2(expected[i] == "+" ? sent[i].toInt() > 1 : sent[i] == expected[i],
                qPrintable(sent.join(' ')));
        QCOMPARE(another.closes(), QStringList { "0" });
    }
#else
    void init()
    {
        WinSim::machine = WinSim::Machine();
    }
    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone();
        const WinSim::Machine &m = WinSim::machine;
        QCOMPARE(
            m.handles.size() + m.openFiles.size() + m.sets.size() + m.allocations + m.badReleases,
            0);
    }

    void reportsOnlyTheProductsVolumeArrival_data()
    {
        QTest::addColumn<QByteArray>("eventType");
        QTest::addColumn<UINT>("id");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("mountPath"); // empty: not the product's
        // The product is on E: only the message keeps it from being reported.
        const auto message = [](const char *name, const QByteArray &record,
                                 const QByteArray &type = windowsMsg, UINT id = WM_DEVICECHANGE) {
            QTest::addRow("%s", name)
                << type << id << record << Setup([] { plug(product, 3, 'E'); }) << QString();
        };
        const auto volume = [](const char *name, char letter, const char *path, Setup setup) {
            QTest::addRow("%s", name) << windowsMsg << UINT(WM_DEVICECHANGE)
                                      << arrival(1u << (letter - 'A')) << setup << QString(path);
        };
        const DWORD e = 1u << ('E' - 'A');

        message("dispatcher's copy of an arrival", arrival(e), "windows_dispatcher_MSG");
        message("other message with the arrival code", arrival(e), windowsMsg, WM_CLOSE);
        message("arrival of a port", arrival(e, DBT_DEVTYP_PORT));
        // Windows guarantees only the stated size behind lParam.
        message("null record", QByteArray());
        message("one byte of the mask", arrival(e, DBT_DEVTYP_VOLUME, 13));

        volume("product on E", 'E', "E:/", [] { plug(product, 3, 'E'); });
        volume("no drive in the mask", '[', "", [] { plug(product, 3, 'Z'); });
        volume("other product id", 'E', "", [] { plug("USB\\VID_1A2B&PID_3C4E\\1", 3, 'E'); });
        volume("product on Z", 'Z', "Z:/", [] { plug(product, 3, 'Z'); });
        volume("product on a fixed disk", 'E', "", [] { plug(product, 3, 'E', DRIVE_FIXED); });
        // 0 is also what an unchecked failed query leaves.
        volume("volume without a device number", 'E', "", [] {
            plug(product, 0, 'F', DRIVE_FIXED);
            addVolume('E', std::nullopt);
        });
        volume("first match without a child passed over", 'E', "E:/", [] {
            WinSim::addDevice(product + "X");
            plug(product, 3, 'E');
        });
        volume("two volumes on one disk: the later wins", 'G', "G:/", [] {
            plug(product, 3, 'E');
            addVolume('G', 3);
        });
        // Portable-device nodes appear right after a volume mounts, between the size and the fetch.
        volume("list growing once before the fetch", 'E', "E:/", [] {
            plug(product, 3, 'E');
            WinSim::machine.listGrowths = 1;
        });
        volume("list growing at every fetch", 'E', "", [] {
            plug(product, 3, 'E');
            WinSim::machine.listGrowths = 1000;
        });
    }
    // Through the door the application uses, twice.
    void reportsOnlyTheProductsVolumeArrival()
    {
        QFETCH(QByteArray, eventType);
        QFETCH(UINT, id);
        QFETCH(QByteArray, record);
        QFETCH(Setup, setup);
        QFETCH(QString, mountPath);
        // A system disk, which must never be taken for the product's.
        const DEVINST systemDisk = WinSim::addDevice("SCSI\\DISK");
        WinSim::machine.devices.append({ "\\\\?\\scsi#disk", 1, systemDisk, 0 });
        addVolume('C', 1, DRIVE_FIXED);
        setup();
        auto detector = std::make_unique<DeviceDetector>([](std::function<void()> callback) {
            return std::make_unique<WinDetector>(std::move(callback));
        });
        QSignalSpy detected(detector.get(), &DeviceDetector::detected);
        MSG msg
            = { nullptr, id, DBT_DEVICEARRIVAL, record.isEmpty() ? 0 : LPARAM(record.constData()) };
        long result = 0;
        const auto dispatch = [&] {
            return QAbstractEventDispatcher::instance()->filterNativeEvent(
                eventType, &msg, &result);
        };

        detector->start("0x1A2B", "0x3c4d", "Tarsel Updater");
        QList<QVariantList> expected;
        for (int arrivals = 1; arrivals <= 2; ++arrivals) {
            dispatch();
            QThreadPool::globalInstance()->waitForDone();
            if (!mountPath.isEmpty())
                expected << QVariantList { mountPath };
            QCOMPARE(QList<QVariantList>(detected), expected);
            // One pop-up closer per report, each watching for three seconds as none shows.
            QCOMPARE(WinSim::machine.clock, ULONGLONG(3000 * expected.size()));
        }
        detector.reset();
        QVERIFY2(!dispatch(), "filter left installed");
    }

    void readsFilesPastTheCache_data()
    {
        QTest::addColumn<int>("size"); // -1: no such file
        QTest::addColumn<int>("sectorSize");
        QTest::addColumn<int>("readSize");
        const auto row = [](const char *name, int size, int sectorSize = 512, int readSize = mib) {
            QTest::addRow("%s", name) << size << sectorSize << readSize;
        };

        row("empty", 0);
        row("a block and 513 bytes", mib + 513);
        row("three blocks", 3 * mib);
        row("in reads of 1000 bytes", 2 * mib + 1, 4096, 1000);
        // Taken for an empty file, it would match an empty package.
        row("missing", -1);
    }
    void readsFilesPastTheCache()
    {
        QFETCH(int, size);
        QFETCH(int, sectorSize);
        QFETCH(int, readSize);
        QByteArray disk(qMax(size, 0), Qt::Uninitialized);
        for (int i = 0; i < disk.size(); ++i)
            disk[i] = char(i * 7 + i / 509);
        const QString path = QStringLiteral("E:\\firmware.bin");
        if (size >= 0)
            WinSim::machine.files.insert(path, { disk, DWORD(sectorSize), 0 });

        QByteArray read;
        {
            UncachedFileReader reader("E:/firmware.bin");
            QByteArray chunk(readSize, Qt::Uninitialized);
            qint64 n;
            while ((n = reader.read(chunk.data(), readSize)) > 0)
                read += chunk.left(int(n));
            QCOMPARE(n, size < 0 ? -1 : 0);
        }
        QCOMPARE(read, disk);
        QVERIFY(size < 0 || WinSim::machine.files[path].openFlags & FILE_FLAG_NO_BUFFERING);
    }
#endif
};

#ifdef _WIN32
QTEST_MAIN(TestWinDetector)
#else
QTEST_GUILESS_MAIN(TestWinDetector)
#endif
#include "tst_windetector.moc"
