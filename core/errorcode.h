#pragma once

#include <QObject>

// Holds the outcome enumeration of an update run for the meta-object system and QML.
class ErrorCode
{
    Q_GADGET
public:
    // Any int is a value: QML and the meta-object system write codes outside the list too.
    enum ErrorCodeEnum : int {
        NoError = 0,
        FindDeviceError = 1,
        CheckFirmwareError = 2,
        FirmwareBad_HWError = 3,
        FirmwareSame_FWError = 4,
        UpdateFirmwareError = 5,
        // Another run, in this or another process, is updating the same product.
        UpdateRunningError = 6,
    };
    Q_ENUM(ErrorCodeEnum)

    ErrorCode() = delete;
};
