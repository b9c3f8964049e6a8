#include "linux/usbidmatch.h"

#include <QtTest>

class TestUsbIdMatch : public QObject
{
    Q_OBJECT
private slots:
    void matchesAsOnWindows_data();
    void matchesAsOnWindows();
};

void TestUsbIdMatch::matchesAsOnWindows_data()
{
    QTest::addColumn<QString>("vid");
    QTest::addColumn<QString>("pid");
    QTest::addColumn<QString>("idVendor");
    QTest::addColumn<QString>("idProduct");
    QTest::addColumn<bool>("matches");

    QTest::addRow("kernel's form") << "0x1a2b"
                                   << "0x3c4d"
                                   << "1a2b\n"
                                   << "3c4d\n"
                                   << true;
    QTest::addRow("device.xml in upper case") << "0X1A2B"
                                              << "0X3C4D"
                                              << "1a2b"
                                              << "3c4d" << true;
    QTest::addRow("sysfs in upper case") << "0x1a2b"
                                         << "0x3c4d"
                                         << "1A2B"
                                         << "3C4D" << true;
    QTest::addRow("other prefix") << "$$1a2b"
                                  << "h'3c4d"
                                  << "1a2b"
                                  << "3c4d" << true;
    QTest::addRow("pid a prefix of the real one") << "0x1a2b"
                                                  << "0x3c"
                                                  << "1a2b"
                                                  << "3c4d" << true;
    QTest::addRow("vid a prefix of the real one") << "0x1a"
                                                  << "0x3c4d"
                                                  << "1a2b"
                                                  << "3c4d" << false;
    QTest::addRow("no prefix loses two digits") << "1a2b"
                                                << "3c4d"
                                                << "1a2b"
                                                << "3c4d" << false;
    QTest::addRow("two-character vid is empty") << "0x"
                                                << "0x3c4d"
                                                << "1a2b"
                                                << "3c4d" << false;
    QTest::addRow("other product") << "0x1a2b"
                                   << "0x3c4d"
                                   << "1a2b"
                                   << "3c4e" << false;
    QTest::addRow("ids swapped") << "0x1a2b"
                                 << "0x3c4d"
                                 << "3c4d"
                                 << "1a2b" << false;
    QTest::addRow("no ids at all") << "0x1a2b"
                                   << "0x3c4d"
                                   << ""
                                   << "" << false;
}

void TestUsbIdMatch::matchesAsOnWindows()
{
    QFETCH(QString, vid);
    QFETCH(QString, pid);
    QFETCH(QString, idVendor);
    QFETCH(QString, idProduct);
    QTEST(UsbIdMatch::matches(vid, pid, idVendor, idProduct), "matches");
}

QTEST_GUILESS_MAIN(TestUsbIdMatch)
#include "tst_usbidmatch.moc"
