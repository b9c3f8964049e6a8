#include "windetectorhelper.h"

#include <QByteArray>
#include <cstddef>

#include <windows.h>

#include <dbt.h>

WinDetectorHelper::WinDetectorHelper(QObject *parent)
    : QObject(parent)
{
}

WinDetectorHelper::~WinDetectorHelper() = default;

bool WinDetectorHelper::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    // Other platform integrations hand over their own event records, which are no MSG.
    if (eventType != QByteArrayLiteral("windows_generic_MSG"))
        return false;
    const auto *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_DEVICECHANGE || msg->wParam != DBT_DEVICEARRIVAL)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(msg->lParam);
    // The record is only as long as its size field says: one too short to hold the unit mask
    // is not read past its end and counts as no volume arrival.
    constexpr DWORD volumeFieldsSize
        = offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) + sizeof(DWORD);
    if (!header || header->dbch_size < volumeFieldsSize
        || header->dbch_devicetype != DBT_DEVTYP_VOLUME)
        return false;
    const DWORD unitMask = reinterpret_cast<const DEV_BROADCAST_VOLUME *>(header)->dbcv_unitmask;

    // No bit among A to Z leaves index 26, the character after Z, which no drive has.
    int index = 0;
    while (index < 26 && !(unitMask & (DWORD(1) << index)))
        ++index;
    emit diskAppeared(QChar(u'A' + index));

    if (result)
        *result = 1;
    return true;
}
