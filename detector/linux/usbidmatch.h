#pragma once

#include <QString>

// The product test shared with the Windows detector, so that one package works on both: the
// device reads as "USB\VID_xxxx&PID_yyyy" and must contain the filter made from device.xml's vid
// and pid with their two-character prefix dropped, case ignored.
class UsbIdMatch
{
public:
    // Filter text for device.xml's values; a value shorter than two characters is used whole.
    static QString filterText(const QString &vid, const QString &pid);
    // The text Windows would show for a device with these sysfs attributes.
    static QString deviceText(const QString &idVendor, const QString &idProduct);
    static bool matches(
        const QString &vid, const QString &pid, const QString &idVendor, const QString &idProduct);
};
