#pragma once

#include <QChar>
#include <QMap>
#include <QString>

#include <windows.h>

#include <cfgmgr32.h>

// From USB identifiers to the drive letter of the device's removable volume. Every call asks
// Windows afresh; nothing is kept between calls. GUI thread only, as the detector is.

// The drive letter of the removable volume on the disk that the USB device vid:pid presents, or
// the null QChar. vid and pid are written as in device.xml: two prefix characters, then the hex
// digits of the device's instance identifier.
QChar findDiskLetter(const QString &vid, const QString &pid);

// The first child node of the first present USB device whose instance identifier contains
// USB\VID_<vid>&PID_<pid> in any case, or 0.
DEVINST findUsbChildDevInst(const QString &vid, const QString &pid);

// Device node to physical disk number, for every present interface of the class.
QMap<DEVINST, DWORD> diskNumbersByDevInst(const GUID &interfaceClass);

// Physical disk number to drive letter, for every volume of the drive type; of several volumes on
// one disk the alphabetically last wins.
QMap<qint32, QChar> volumeLettersByDiskNumber(UINT driveType);
